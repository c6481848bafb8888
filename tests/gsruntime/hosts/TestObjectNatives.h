// The natives of the test class "TestObjects" (include/testobjects.gs),
// for the script test host gsrun in the script context:
// - TestObjects.Template(): ScriptableObject::GetSourceText of an object
//   without own text and without asset;
// - TestObjects.RunOwnText(asset, text): a scriptable object of the
//   asset's spec with `text` as its own text, its phases run at once; the
//   answer is "<failure flag 0|1> <script class or none> <count of
//   cache/temp_object.gs and .gsl left>"; the object is let go afterwards;
// - TestObjects.MoveProperties(from, to): from's list record saved into a
//   buffer and loaded into `to`; the bytes saved.
// Register before the first GetGSMachine.
#pragma once

void RegisterTestObjectNatives();
