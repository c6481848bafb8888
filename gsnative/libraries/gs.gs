// gs.gs: the common include of every script, compiled into "gs.gsl".

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
