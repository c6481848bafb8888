// A function of more than 64 argument slots: string arguments past the
// 64th are released by its frame like the others, and the loader checks
// them as it checks the first 64.
include "test.gs"

class Main {
  string Many(int a0, int a1, int a2, string s3, int a4, int a5, int a6, int a7, int a8, int a9, int a10, int a11, int a12, int a13, int a14, int a15, int a16, int a17, int a18, int a19, int a20, int a21, int a22, int a23, int a24, int a25, int a26, int a27, int a28, int a29, int a30, int a31, int a32, int a33, int a34, int a35, int a36, int a37, int a38, int a39, int a40, int a41, int a42, int a43, int a44, int a45, int a46, int a47, int a48, int a49, int a50, int a51, int a52, int a53, int a54, int a55, int a56, int a57, int a58, int a59, int a60, int a61, int a62, int a63, int a64, string s65, int a66, int a67, string s68, int a69) {
    return s3 + s65 + s68 + " " + (a0 + a64 + a66 + a69);
  }

  void Run() {
    int i;
    for (i = 0; i < 2; i++) Test.Print(Many(0, 1, 2, "t3", 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, "t65", 66, 67, "t68", 69));
  }
};
// expect: t3t65t68 199
// expect: t3t65t68 199
