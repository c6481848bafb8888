// The natives of the test class "Test" and the native class "Counter"
// (tests/gsruntime/include/test.gs), for the script test host gsrun:
// - Test.Print(line): the line to standard output;
// - Test.Join(i, f, b, s): "i f b s" ("%d %f true|false %s");
// - Test.Nothing(): returns without pushing (the caller gets 0);
// - Test.NewCounter(): a Counter whose native object is a TestCounter;
// - Test.CounterTotal(c): c's total, refusing a null or a non-native Counter;
// - Test.Fail(text): stops the thread through GSThread::Exception;
// - Counter.Add(n), Counter.Total(): member natives of TestCounter;
// - TestStd.NewStringTable(config) (include/teststd.gs, with the standard
//   libraries): a string table over the soup, as an asset's would be;
// - TestStd.WritePNG(image, path): the image's pixels as a PNG file (a
//   path relative to the working folder); an image without bitmap, or a
//   file that cannot be written, stops the thread;
// - TestStd.ImageChanges(image): the image's change count.
// "Test.Missing()" has no binding. Register before the first GetGSMachine.
#pragma once

void RegisterTestNatives();
