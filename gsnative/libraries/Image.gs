// Image.gs: a drawable bitmap, compiled into "Image.gsl".
include "gs.gs"
include "Soup.gs"

class Image isclass GSObject {
  public native void Clear(int width, int height);
  public native void Resize(int width, int height, bool smooth);
  public native int GetWidth();
  public native int GetHeight();
  public native void SetLineColor(float r, float g, float b, float a);
  public native void SetFillColor(float r, float g, float b, float a);
  public native void DrawPoint(int x, int y);
  public native void DrawRect(int x0, int y0, int x1, int y1);
  public native void DrawLine(int x0, int y0, int x1, int y1);
  public native void DrawCircle(int x, int y, int radius);
  public native void DrawTriangle(int x0, int y0, int x1, int y1, int x2, int y2);
  public native void DrawImage(int x, int y, Image source);
  public native void DrawImage(int x, int y, int width, int height, Image source);
  public native void DrawImage(int x, int y, int width, int height, Image source, int sx, int sy,
                               int swidth, int sheight);
  public native void SetTextFont(string face, int points);
  public native int MeasureTextWidth(string text);
  public native void DrawText(int x, int y, string text);
  public native Soup ExportImage();
  public native void ImportImage(Soup data);
};
