// gs.gs: the common include of every script, compiled into "gs.gsl". It
// declares the base of the script classes that native objects carry, the
// game object, messages, the router, linked lists, the string and
// mathematics helpers, the menu type and the bases of vehicle, trackside
// and signal scripts.

// --- Game objects, messages, the router and linked lists ---
// The native object behind every script object of a native class.
class GSObject {
  public native string GetGSClassName();
};

// A script object that is also a router node: it sends, posts and waits
// for messages, runs message handlers and threads that sleep.
class GameObject isclass GSObject {
  public native void SendMessage(GameObject dst, string major, string minor);
  public native void SendMessage(GameObject dst, string major, string minor, GSObject payload);
  public native void PostMessage(GameObject dst, string major, string minor, float seconds);
  public native void PostMessage(GameObject dst, string major, string minor, GSObject payload,
                                 float seconds);
  public native void ClearMessages(string major, string minor);
  public native void AddHandler(GameObject target, string major, string minor, string handler);
  public native void Sniff(GameObject target, string major, string minor, bool add);
  public native void Sleep(float seconds);
  public native int GetId();
  public native string GetName();
  public native void Exception(string text);
};

// A message as a handler or a waiting thread receives it; the members keep
// these slots: major, minor, src, dst, payload.
class Message {
  public string major;
  public string minor;
  public GameObject src;
  public GameObject dst;
  public GSObject payload;
};

// The router of the running script context.
static class Router {
  public native GameObject GetGameObject(int id);
  public native GameObject GetForeignGameObject(int id);
  public native GameObject GetGameObject(string name);
  public native void PostMessage(int src, int dst, string major, string minor, float seconds);
  public native void Info();
};
// A list of LinkedData entries kept in a script array, sorted and appended
// to by two native helpers that work only on their arguments.
class LinkedData {
  public string key;
  public int value;
  public GSObject obj;  // "object" is a keyword
};

class LinkedList {
  public native void SortInternal(LinkedData[] entries);
  public native void AddInternal(LinkedData[] entries, LinkedData entry, bool unique);
};
// --- end of game objects, messages, the router and linked lists ---

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
