// HTMLBuffer.gs: collected HTML text, compiled into "HTMLBuffer.gsl".
include "gs.gs"

class HTMLBuffer isclass GSObject {
  public native void Clear();
  public native bool IsEmpty();
  public native string AsString();
  public native void Print(string text);
  public native void Escape(string text);
};

static class HTMLBufferStatic {
  public native HTMLBuffer Construct();
};
