// Repeated specifiers are not an error, and prototypes take (void) or ().
public public final class A isclass B, C, D
{
  static static int x, y = 1, z;
  void f();
  void g(void);
  int h(int a, string[] b, A[] c);
  int[] k() { return new int[3]; }
};
class B { }; class C { }; class D { };
