// gs.gs: the common include of every script, compiled into "gs.gsl". It
// declares the base of the script classes that native objects carry, the
// game object, the string and mathematics helpers, the menu type and the
// bases of vehicle, trackside and signal scripts.

class GSObject {
  public native string GetGSClassName();
};

class GameObject isclass GSObject {
  public native void SendMessage(GameObject dst, string major, string minor);
  public native void SendMessage(GameObject dst, string major, string minor, GSObject payload);
  public native void PostMessage(GameObject dst, string major, string minor, float seconds);
  public native void PostMessage(GameObject dst, string major, string minor, GSObject payload,
                                 float seconds);
  public native void ClearMessages(string major, string minor);
  public native void AddHandler(GameObject target, string major, string minor, string handler);
  public native void Sniff(GameObject target, string major, string minor, bool state);
  public native void Sleep(float seconds);
  public native int GetId();
  public native string GetName();
  public native void Exception(string text);
};

// Router and message classes: one contiguous block here.

static class Str {
  public native void TrimLeft(string text, string characters);
  public native void TrimRight(string text, string characters);
  public native int ToInt(string text);
  public native float ToFloat(string text);
  public native void ToUpper(string text);
  public native void ToLower(string text);
  public native string[] Tokens(string text, string delimiters);
  public native int UnpackInt(string text);
  public native float UnpackFloat(string text);
  public native string UnpackString(string text);
  public native int Find(string text, string part, int start);
};

static class Math {
  public native float Rand(float low, float high);
  public native int Rand(int low, int high);
  public native float Sqrt(float value);
};

class Menu {
};

class Vehicle isclass GameObject {
};

class Trackside isclass GameObject {
};

class Signal isclass GameObject {
};
