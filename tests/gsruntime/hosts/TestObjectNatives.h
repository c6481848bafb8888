// The natives of the test class "TestObjects" (include/testobjects.gs),
// for the script test host gsrun in the script context:
// - TestObjects.SourceText(asset): ScriptableObject::GetSourceText of an
//   object of the asset (null: none) without own text;
// - TestObjects.RunOwnText(asset, text): a scriptable object of the
//   asset's spec with `text` as its own text, its phases run at once; the
//   answer is "<failure flag 0|1> <script class or none> <count of
//   cache/temp_object.gs and .gsl left>"; the object is let go afterwards;
// - TestObjects.EditText(asset, first, second): such an object made with
//   `first`, its failure flag taken, then given `second`: "<none|own> (its
//   own text) <failure flag> <script class or none>";
// - TestObjects.LoadBeforeInit(from, asset): a new library of the asset,
//   loaded with from's saved properties before CompleteInit: "<pending|
//   applied> (right after the load) <its "colour"> <its "sets">";
// - TestObjects.MoveProperties(from, to): from's list record saved into a
//   buffer and loaded into `to`; the bytes saved.
// - TestObjects.Click(library, icon, target): the library's icon id set to
//   `icon`, then a "click" message for `target` received; Receive's answer.
// Register before the first GetGSMachine.
#pragma once

void RegisterTestObjectNatives();
