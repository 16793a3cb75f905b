#include "UWinPictures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace korvane::win32ui {

namespace {

struct TPoint {
  double X;
  double Y;
};

struct TColour {
  uint8_t R;
  uint8_t G;
  uint8_t B;
};

// A premultiplied RGBA canvas in logical units, each pixel sampled on a 4 x 4
// grid so that edges come out smooth at every scale.
class TCanvas {
 public:
  TCanvas(int Width, int Height, double Scale)
      : FWidth(Width), FHeight(Height), FScale(Scale), FPixels(size_t(Width) * Height * 4, 0.0) {}

  void FillPolygon(const std::vector<TPoint>& Points, TColour Colour) {
    Paint(Colour, [&](TPoint P) { return Inside(Points, P); });
  }
  // The polygon's outline, Width logical units wide.
  void StrokePolygon(const std::vector<TPoint>& Points, double Width, TColour Colour) {
    Paint(Colour, [&](TPoint P) { return DistanceToOutline(Points, P) <= Width / 2; });
  }
  void FillRect(double Left, double Top, double Width, double Height, TColour Colour) {
    FillPolygon(
        {{Left, Top}, {Left + Width, Top}, {Left + Width, Top + Height}, {Left, Top + Height}},
        Colour);
  }

  // Each pixel in its own brightness of grey, half as opaque.
  void Grey() {
    for (size_t Index = 0; Index < FPixels.size(); Index += 4) {
      double* Pixel = &FPixels[Index];
      const double Light = 0.3 * Pixel[0] + 0.59 * Pixel[1] + 0.11 * Pixel[2];
      Pixel[0] = Pixel[1] = Pixel[2] = Light / 2;
      Pixel[3] /= 2;
    }
  }

  // BGRA rows from the top, as a top-down DIB section takes them.
  void CopyTo(uint8_t* Bits) const {
    for (size_t Index = 0; Index < FPixels.size(); Index += 4) {
      const double Alpha = FPixels[Index + 3];
      Bits[Index + 0] = Byte(FPixels[Index + 2]);
      Bits[Index + 1] = Byte(FPixels[Index + 1]);
      Bits[Index + 2] = Byte(FPixels[Index + 0]);
      Bits[Index + 3] = Byte(Alpha);
    }
  }

 private:
  static uint8_t Byte(double Value) {
    return static_cast<uint8_t>(std::lround(std::clamp(Value, 0.0, 1.0) * 255));
  }

  static bool Inside(const std::vector<TPoint>& Points, TPoint P) {
    bool In = false;
    for (size_t I = 0, J = Points.size() - 1; I < Points.size(); J = I++) {
      const TPoint A = Points[I];
      const TPoint B = Points[J];
      if ((A.Y > P.Y) != (B.Y > P.Y) && P.X < (B.X - A.X) * (P.Y - A.Y) / (B.Y - A.Y) + A.X) {
        In = !In;
      }
    }
    return In;
  }

  static double DistanceToOutline(const std::vector<TPoint>& Points, TPoint P) {
    double Best = 1e9;
    for (size_t I = 0, J = Points.size() - 1; I < Points.size(); J = I++) {
      const TPoint A = Points[J];
      const TPoint B = Points[I];
      const double Dx = B.X - A.X;
      const double Dy = B.Y - A.Y;
      const double Length2 = Dx * Dx + Dy * Dy;
      const double T =
          Length2 > 0 ? std::clamp(((P.X - A.X) * Dx + (P.Y - A.Y) * Dy) / Length2, 0.0, 1.0) : 0;
      Best = std::min(Best, std::hypot(P.X - (A.X + T * Dx), P.Y - (A.Y + T * Dy)));
    }
    return Best;
  }

  template <typename TCovers>
  void Paint(TColour Colour, TCovers Covers) {
    constexpr int Grid = 4;
    for (int Y = 0; Y < FHeight; ++Y) {
      for (int X = 0; X < FWidth; ++X) {
        int Hits = 0;
        for (int Sy = 0; Sy < Grid; ++Sy) {
          for (int Sx = 0; Sx < Grid; ++Sx) {
            const TPoint Sample = {(X + (Sx + 0.5) / Grid) / FScale,
                                   (Y + (Sy + 0.5) / Grid) / FScale};
            Hits += Covers(Sample) ? 1 : 0;
          }
        }
        if (Hits == 0) {
          continue;
        }
        const double Alpha = double(Hits) / (Grid * Grid);
        double* Pixel = &FPixels[(size_t(Y) * FWidth + X) * 4];
        const double Keep = 1 - Alpha;
        Pixel[0] = Colour.R / 255.0 * Alpha + Pixel[0] * Keep;
        Pixel[1] = Colour.G / 255.0 * Alpha + Pixel[1] * Keep;
        Pixel[2] = Colour.B / 255.0 * Alpha + Pixel[2] * Keep;
        Pixel[3] = Alpha + Pixel[3] * Keep;
      }
    }
  }

  int FWidth;
  int FHeight;
  double FScale;
  std::vector<double> FPixels;
};

// Turns Points by Degrees about the origin and moves them to (Dx, Dy).
std::vector<TPoint> Placed(std::vector<TPoint> Points, double Degrees, double Dx, double Dy) {
  const double Angle = Degrees * 3.14159265358979 / 180;
  for (TPoint& P : Points) {
    const TPoint Turned = {P.X * std::cos(Angle) - P.Y * std::sin(Angle),
                           P.X * std::sin(Angle) + P.Y * std::cos(Angle)};
    P = {Turned.X + Dx, Turned.Y + Dy};
  }
  return Points;
}

void DrawBolt(TCanvas& Canvas) {
  const std::vector<TPoint> Bolt = {{9.5, 0.5},  {1.5, 8.0}, {6.5, 8.0}, {4.0, 13.5},
                                    {13.5, 5.0}, {8.5, 5.0}, {12.0, 0.5}};
  Canvas.FillPolygon(Bolt, {0xFF, 0xD4, 0x00});
  Canvas.StrokePolygon(Bolt, 1.0, {0x80, 0x5A, 0x00});
}

void DrawFloppyPencil(TCanvas& Canvas) {
  // The disk: a dark blue body with a cut corner, a metal shutter at the top
  // and a white label at the bottom.
  const std::vector<TPoint> Body = {
      {1.5, 1.5}, {12.5, 1.5}, {14.5, 3.5}, {14.5, 14.5}, {1.5, 14.5}};
  Canvas.FillPolygon(Body, {0x2A, 0x4C, 0xA8});
  Canvas.StrokePolygon(Body, 1.0, {0x10, 0x18, 0x40});
  Canvas.FillRect(4.0, 2.0, 7.0, 4.5, {0xC8, 0xCC, 0xD4});
  Canvas.FillRect(8.5, 2.8, 1.6, 3.0, {0x2A, 0x4C, 0xA8});
  Canvas.FillRect(3.5, 8.5, 9.0, 5.5, {0xFF, 0xFF, 0xFF});

  // The pencil, from the upper right down to its tip at the lower left of
  // the label.
  const auto Pencil = [](std::vector<TPoint> Shape) {
    return Placed(std::move(Shape), -45, 6.0, 15.5);
  };
  const std::vector<TPoint> Shaft = Pencil({{3.0, -1.6}, {12.0, -1.6}, {12.0, 1.6}, {3.0, 1.6}});
  const std::vector<TPoint> Eraser = Pencil({{12.0, -1.6}, {14.2, -1.6}, {14.2, 1.6}, {12.0, 1.6}});
  const std::vector<TPoint> Wood = Pencil({{3.0, -1.6}, {0.0, 0.0}, {3.0, 1.6}});
  const TColour Edge = {0x40, 0x30, 0x10};
  Canvas.FillPolygon(Shaft, {0xF5, 0xC0, 0x20});
  Canvas.StrokePolygon(Shaft, 0.7, Edge);
  Canvas.FillPolygon(Eraser, {0xF0, 0x90, 0xA0});
  Canvas.StrokePolygon(Eraser, 0.7, Edge);
  Canvas.FillPolygon(Wood, {0xF0, 0xD8, 0xB0});
  Canvas.StrokePolygon(Wood, 0.7, Edge);
  Canvas.FillPolygon(Pencil({{1.0, -0.55}, {0.0, 0.0}, {1.0, 0.55}}), {0x30, 0x30, 0x30});
}

}  // namespace

SIZE PictureSize(TPicture Picture, double Scale) {
  const int Width = Picture == TPicture::LightningBolt ? 15 : 17;
  const int Height = Picture == TPicture::LightningBolt ? 14 : 17;
  return {static_cast<LONG>(std::lround(Width * Scale)),
          static_cast<LONG>(std::lround(Height * Scale))};
}

HBITMAP DrawPicture(TPicture Picture, double Scale, bool Greyed) {
  const SIZE Size = PictureSize(Picture, Scale);
  BITMAPINFO Info = {};
  Info.bmiHeader.biSize = sizeof Info.bmiHeader;
  Info.bmiHeader.biWidth = Size.cx;
  Info.bmiHeader.biHeight = -Size.cy;
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  Info.bmiHeader.biCompression = BI_RGB;
  void* Bits = nullptr;
  HBITMAP Bitmap = CreateDIBSection(nullptr, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
  if (Bitmap == nullptr) {
    return nullptr;
  }
  // The picture's own scale, after its size was rounded to whole pixels.
  const SIZE Base = PictureSize(Picture, 1.0);
  TCanvas Canvas(Size.cx, Size.cy, static_cast<double>(Size.cx) / Base.cx);
  if (Picture == TPicture::LightningBolt) {
    DrawBolt(Canvas);
  } else {
    DrawFloppyPencil(Canvas);
  }
  if (Greyed) {
    Canvas.Grey();
  }
  Canvas.CopyTo(static_cast<uint8_t*>(Bits));
  GdiFlush();
  return Bitmap;
}

}  // namespace korvane::win32ui
