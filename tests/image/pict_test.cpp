#include <gd.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "core/memory_limit.h"
#include "interp_fixture.h"
#include "modules/image/image_api.h"
#include "modules/image/image_tags.h"

extern "C" const kwl::ImageApi* kwl_image_api();

namespace kwl {
namespace {

constexpr const char* kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct GdDestroy {
  void operator()(gdImagePtr im) const { gdImageDestroy(im); }
};
using GdPtr = std::unique_ptr<gdImage, GdDestroy>;

// What GD encoded, as bytes.
template <class Encode>
std::string Bytes(Encode encode) {
  int size = 0;
  void* data = encode(&size);
  std::string bytes(static_cast<const char*>(data), static_cast<size_t>(size));
  gdFree(data);
  return bytes;
}

std::string Png(gdImagePtr im) {
  return Bytes([&](int* size) { return gdImagePngPtr(im, size); });
}
std::string Jpeg(gdImagePtr im) {
  return Bytes([&](int* size) { return gdImageJpegPtr(im, size, 80); });
}

GdPtr Decode(const std::string& bytes) {
  return GdPtr(
      gdImageCreateFromPngPtr(static_cast<int>(bytes.size()), const_cast<char*>(bytes.data())));
}

int Rgb(const GdPtr& im, int x, int y) {
  return gdImageGetTrueColorPixel(im.get(), x, y) & 0xFFFFFF;
}

// A page run in a directory of its own, with the module linked in.
struct PictRun : testing::PageRun {
  std::filesystem::path dir;
  size_t seen = 0;

  PictRun() {
    char pattern[] = "/tmp/kwl-image-XXXXXX";
    dir = mkdtemp(pattern);
    proc.pagePath = dir / "page.kwl";
    RegisterImageTags(tags);
    tags.modulesLoaded.emplace_back("image");
    Set("font", kFont);
  }
  ~PictRun() { std::filesystem::remove_all(dir); }

  // What this text writes.
  std::string Page(std::string_view text) {
    std::string all = Run(text);
    std::string added = all.substr(seen);
    seen = all.size();
    return added;
  }
  std::string Read(const char* name) {
    std::ifstream in(dir / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void Write(const char* name, std::string_view bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
  }
  GdPtr Saved(const char* name) { return Decode(Read(name)); }
};

// The smallest box around the pixels that are not white.
struct Ink {
  int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;
};
Ink InkOf(const GdPtr& im) {
  Ink ink;
  for (int y = 0; y < gdImageSY(im.get()); ++y) {
    for (int x = 0; x < gdImageSX(im.get()); ++x) {
      if (Rgb(im, x, y) == 0xFFFFFF) continue;
      ink = {std::min(ink.left, x), std::min(ink.top, y), std::max(ink.right, x),
             std::max(ink.bottom, y)};
    }
  }
  return ink;
}

TEST(Pict, DrawsRectanglesLinesAndFloodFills) {
  PictRun run;
  EXPECT_EQ(run.Page("<PICT NAME=a WIDTH=100 HEIGHT=80 FILL=white RECT=\"0,0,99,79\">"
                     "<PICT NAME=a COLOR=red RECT=\"10,10,40,30\">"
                     "<PICT NAME=a COLOR=#0000FF LINE=\"50 0 50 79\">"
                     "<PICT NAME=a FILL=lime X=20 Y=20>"
                     "<PICT NAME=a COLOR=navy BORDER=3 RECT=\"90,-100000,100000,100000\">"
                     "<PICT NAME=a COLOR=#FFFFFD ALPHA=-1 RECT=70 DEST=a.png>[$velerr$]"),
            "[0]");
  GdPtr im = run.Saved("a.png");
  ASSERT_TRUE(im);
  EXPECT_EQ(Rgb(im, 5, 5), 0xFFFFFF);
  EXPECT_EQ(Rgb(im, 10, 10), 0xFF0000);
  EXPECT_EQ(Rgb(im, 40, 30), 0xFF0000);
  EXPECT_EQ(Rgb(im, 20, 20), 0x00FF00);
  EXPECT_EQ(Rgb(im, 39, 29), 0x00FF00);
  EXPECT_EQ(Rgb(im, 45, 20), 0xFFFFFF);
  EXPECT_EQ(Rgb(im, 50, 5), 0x0000FF);
  // A thick edge far outside stays invisible; the one inside is there.
  EXPECT_EQ(Rgb(im, 90, 40), 0x000080);
  EXPECT_EQ(Rgb(im, 95, 0), 0xFFFFFF);
  EXPECT_EQ(Rgb(im, 95, 79), 0xFFFFFF);
  // RECT with one number n: from (n, n) to (0, n); a negative ALPHA is no special colour.
  EXPECT_EQ(Rgb(im, 60, 70), 0xFFFFFD);
  EXPECT_EQ(Rgb(im, 60, 71), 0xFFFFFF);
}

// Brush and tile files are named as the working directory sees them.
TEST(Pict, ImageFilesServeAsTileAndBrush) {
  PictRun run;
  run.Set("tile", (run.dir / "tile.png").string());
  EXPECT_EQ(run.Page("<PICT NAME=t WIDTH=2 HEIGHT=2 COLOR=teal FILL=teal RECT=\"0,0,1,1\" "
                     "DEST=tile.png>"
                     "<PICT NAME=c WIDTH=20 HEIGHT=20 FILL=$tile$ RECT=\"2,2,9,9\">"
                     "<PICT NAME=c COLOR=$tile$ LINE=\"15,0,15,19\" DEST=c.png>[$velerr$]"),
            "[0]");
  GdPtr im = run.Saved("c.png");
  ASSERT_TRUE(im);
  EXPECT_EQ(Rgb(im, 5, 5), 0x008080);
  EXPECT_EQ(Rgb(im, 15, 10), 0x008080);
  EXPECT_EQ(Rgb(im, 12, 10), 0x000000);
}

TEST(Pict, PlacesTextByPositionName) {
  PictRun run;
  run.Page("<PICT NAME=w WIDTH=200 HEIGHT=60 FILL=white RECT=\"0,0,199,59\" DEST=white.png>");
  const char* pages[] = {
      "<PICT NAME=t COLOR=black FONT=$font$ SIZE=20 TEXT=Hg POSITION=mm DEST=t.png>",
      "<PICT NAME=t COLOR=black FONT=$font$ SIZE=20 TEXT=Hg POSITION=TL DEST=t.png>",
      "<PICT NAME=t COLOR=black FONT=$font$ SIZE=20 TEXT=Hg DEST=t.png>",
      "<PICT NAME=t COLOR=black FONT=$font$ SIZE=20 TEXT=Hg X=100 Y=40 DEST=t.png>",
  };
  Ink ink[4];
  for (int i = 0; i < 4; ++i) {
    run.Page("<PICT PATH=white.png NAME=t>");
    EXPECT_EQ(run.Page(std::string(pages[i]) + "[$velerr$]"), "[0]") << pages[i];
    ink[i] = InkOf(run.Saved("t.png"));
  }
  EXPECT_NEAR((ink[0].left + ink[0].right) / 2, 100, 2);
  EXPECT_LE(ink[1].left, 4);
  EXPECT_LE(ink[1].top, 4);
  EXPECT_GE(ink[2].right, 195);  // no position: bottom right
  EXPECT_GE(ink[2].bottom, 50);
  EXPECT_NEAR(ink[3].left, 100, 3);
  EXPECT_LT(ink[3].top, 40);
  EXPECT_GT(ink[3].bottom, 40);  // the g below the baseline
}

TEST(Pict, CopyKeepsTheSourcesTransparentColour) {
  PictRun run;
  EXPECT_EQ(run.Page("<PICT NAME=logo WIDTH=20 HEIGHT=20 FILL=white RECT=\"0,0,19,19\">"
                     "<PICT NAME=logo COLOR=blue FILL=blue RECT=\"5,5,14,14\" TRANSPARENCY=white>"
                     "<PICT NAME=bg WIDTH=60 HEIGHT=40 COLOR=red FILL=red RECT=\"0,0,59,39\">"
                     "<PICT NAME=plain WIDTH=60 HEIGHT=40 GETT=none>"
                     "<PICT NAME=bg COPY=logo X=10 Y=10 GETT=t DEST=copy.png>"
                     "<PICT NAME=plain COPY=logo X=30 Y=20 ROTATE=90 DEST=turned.png>"
                     "[$none$|$t$|$velerr$]"),
            "[|#ffffff|0]");
  GdPtr im = run.Saved("copy.png");
  ASSERT_TRUE(im);
  EXPECT_EQ(Rgb(im, 12, 12), 0xFF0000);
  EXPECT_EQ(Rgb(im, 20, 20), 0x0000FF);
  EXPECT_EQ(Rgb(im, 29, 29), 0xFF0000);
  GdPtr turned = run.Saved("turned.png");
  ASSERT_TRUE(turned);
  EXPECT_EQ(Rgb(turned, 30, 20), 0x0000FF);  // about (X, Y)
  EXPECT_EQ(Rgb(turned, 5, 5), 0x000000);
}

TEST(Pict, RotateTurnsTheCanvas) {
  PictRun run;
  EXPECT_EQ(run.Page("<PICT NAME=r WIDTH=40 HEIGHT=20 COLOR=red FILL=red RECT=\"0,0,39,19\">"
                     "<PICT NAME=r COLOR=blue FILL=blue RECT=\"0,0,9,9\">"
                     "<PICT NAME=r ROTATE=90 GETW=w GETH=h DEST=r.png>[$w$x$h$]"
                     "<PICT NAME=r ROTATE=450 GETW=w GETH=h>[$w$x$h$]"
                     "<PICT NAME=r ROTATE=-90 GETW=w GETH=h>[$w$x$h$]"
                     "<PICT NAME=r ROTATE=45 GETW=w GETH=h>[$w$x$h$]"),
            "[20x40][40x20][20x40][42x42]");
  GdPtr im = run.Saved("r.png");
  ASSERT_TRUE(im);
  EXPECT_EQ(Rgb(im, 5, 35), 0x0000FF);  // the top-left corner turned to the bottom left
  EXPECT_EQ(Rgb(im, 5, 5), 0xFF0000);
}

TEST(Pict, ResizeAveragesOrPicksAndKeepsTheImageWhenRefused) {
  PictRun run;
  // Three pixels 0, 90, 255 to two: 0 + 90/2 over 1.5, and 90/2 + 255 over 1.5.
  run.Page(
      "<PICT NAME=s WIDTH=3 HEIGHT=1 FILL=#5a5a5a COLOR=#5a5a5a RECT=\"1,0,1,0\">"
      "<PICT NAME=s FILL=white COLOR=white RECT=\"2,0,2,0\" DEST=s.png>"
      "<PICT NAME=s WIDTH=2 HEIGHT=1 DEST=smooth.png>"
      "<PICT PATH=s.png WIDTH=1 HEIGHT=1 OPTION=speed DEST=fast.png>");
  GdPtr smooth = run.Saved("smooth.png");
  GdPtr fast = run.Saved("fast.png");
  ASSERT_TRUE(smooth && fast);
  EXPECT_EQ(Rgb(smooth, 0, 0), 0x1E1E1E);
  EXPECT_EQ(Rgb(smooth, 1, 0), 0xC8C8C8);
  int picked = Rgb(fast, 0, 0);  // one of the three, not their mean
  EXPECT_TRUE(picked == 0 || picked == 0x5A5A5A || picked == 0xFFFFFF) << picked;

  run.Page("<PICT NAME=p WIDTH=40 HEIGHT=20 DEST=p.png>");
  EXPECT_EQ(run.Page("<PICT PATH=p.png WIDTH=50% GETW=w GETH=h>[$w$x$h$]"
                     "<PICT PATH=p.png HEIGHT=\"\" WIDTH=10 GETW=w GETH=h>[$w$x$h$]"),
            "[20x10][10x20]");

  EXPECT_EQ(
      run.Page("<PICT NAME=p WIDTH=0 HEIGHT=0 GETW=w>[$velerr$|$velerrmsg$|$w$]"
               "<PICT NAME=p WIDTH=-3 HEIGHT=5>[$velerr$]<PICT NAME=p GETW=w GETH=h>[$w$x$h$]"),
      "[1|ERROR: on DIM IMAGE in PICT tag|10][1][40x20]");
  // Past the run's allowance: no resize, and no flood fill (GD's work list would not fit).
  run.Page("<PICT NAME=big WIDTH=600 HEIGHT=600>");
  MemorySetLimit(1 << 20);
  std::string refused = run.Page(
      "<PICT NAME=p WIDTH=1000 HEIGHT=1000>[$velerr$]<PICT NAME=p GETW=w GETH=h>[$w$x$h$]"
      "<PICT NAME=big FILL=red X=1 Y=1 DEST=big.png>");
  MemorySetLimit(0);
  EXPECT_EQ(refused, "[1][40x20]");
  GdPtr big = run.Saved("big.png");
  ASSERT_TRUE(big);
  EXPECT_EQ(Rgb(big, 300, 300), 0);
}

TEST(Pict, SavesByExtensionAndReadsJpegDensity) {
  PictRun run;
  EXPECT_EQ(run.Page("<PICT NAME=f WIDTH=8 HEIGHT=8 DEST=f.gif><PICT NAME=f DEST=f.jpg>"
                     "<PICT NAME=f DEST=f.png><PICT NAME=f DEST=f.JPG><PICT NAME=f DEST=f>"
                     "[$velerr$]"),
            "[0]");
  EXPECT_EQ(run.Read("f.gif").substr(0, 4), "GIF8");
  EXPECT_EQ(run.Read("f.jpg").substr(0, 3), "\xFF\xD8\xFF");
  EXPECT_EQ(run.Read("f.png").substr(0, 4), "\x89PNG");
  EXPECT_EQ(run.Read("f.JPG").substr(0, 3), "\xFF\xD8\xFF");
  EXPECT_EQ(run.Read("f").substr(0, 3), "\xFF\xD8\xFF");

  GdPtr im(gdImageCreateTrueColor(30, 20));
  gdImageSetResolution(im.get(), 300, 150);
  run.Write("dpi.jpg", Jpeg(im.get()));
  EXPECT_EQ(run.Page("<PICT PATH=dpi.jpg GETDPI=d GETW=w>[$d$|$w$]"), "[300x150|30]");
}

TEST(Pict, NamedImagesAreHandlesOfTheRun) {
  PictRun run;
  EXPECT_EQ(run.Page("<PICT NAME=a WIDTH=5 HEIGHT=5>[$a$]<PICT NAME=b WIDTH=6 HEIGHT=5>[$b$]"
                     "<SET NAME=copy VALUE=$a$><PICT CLOSE=a GETW=w>[$w$|$a$]"
                     "<PICT NAME=copy GETW=w>[$velerr$|$velerrmsg$]"
                     "<PICT NAME=b COPY=copy>[$velerr$]<PICT CLOSE=copy>[$velerr$]"
                     "<SET NAME=x VALUE=99><PICT NAME=x>[$velerr$]"
                     "<SET NAME=x VALUE=text><PICT NAME=x>[$velerr$|$velerrmsg$]"
                     "<PICT NAME=b GETW=w>[$w$]"),
            "[1][2][5|][1|ERROR: Unknown image handle in PICT tag][1][1][1]"
            "[1|ERROR: WIDTH and HEIGHT needed for a new image in PICT tag][6]");
  // Loading under a name that holds an image replaces it under the same handle.
  run.Page("<PICT NAME=b DEST=b.png>");
  EXPECT_EQ(run.Page("<PICT PATH=b.png NAME=a>[$a$]<PICT PATH=b.png NAME=a>[$a$]"), "[3][3]");
}

TEST(Pict, RefusesBadInputCleanly) {
  PictRun run;
  GdPtr noise(gdImageCreateTrueColor(64, 64));
  for (int i = 0; i < 64 * 64; ++i)
    gdImageSetPixel(noise.get(), i % 64, i / 64, static_cast<int>((i * 2654435761u) & 0xFFFFFF));
  std::string formats[] = {Png(noise.get()),
                           Bytes([&](int* size) { return gdImageGifPtr(noise.get(), size); }),
                           Jpeg(noise.get())};
  for (const std::string& whole : formats) {
    for (size_t cut : {size_t{3}, size_t{20}, size_t{40}, whole.size() / 2, whole.size() - 1}) {
      run.Write("cut.img", whole.substr(0, cut));
      std::string out = run.Page("<PICT PATH=cut.img GETW=w>[$velerr$]");
      EXPECT_TRUE(out == "[0]" || out == "[1]") << cut << out;
    }
  }
  std::string huge = Png(noise.get());
  huge.replace(16, 8, std::string("\x00\x01\x86\xA0\x00\x01\x86\xA0", 8));  // 100,000 x 100,000
  run.Write("huge.png", huge);
  run.Write("huge.gif",
            std::string("GIF89a\xFF\xFF\xFF\xFF\x00\x00\x00,\0\0\0\0\xFF\xFF\xFF\xFF\0", 23));
  run.Write("text.png", "not an image");
  EXPECT_EQ(
      run.Page("<PICT PATH=huge.png>[$velerrmsg$]<PICT PATH=huge.gif>[$velerrmsg$]"
               "<PICT PATH=text.png>[$velerrmsg$]<PICT PATH=none.png NAME=n WIDTH=5>[$velerrmsg$]"
               "<PICT CONTENT=\"\">[$velerrmsg$]"),
      "[ERROR: Image too large !!][ERROR: Image too large !!]"
      "[ERROR: Image format incompatible !!][ERROR: Memory error on image loading !!]"
      "[ERROR: Image format incompatible !!]");

  run.Set("zero", std::string_view("z.png\0.x", 8));
  EXPECT_EQ(run.Page("<PICT NAME=g WIDTH=10 HEIGHT=10 COLOR=red BORDER=2147483647 FILL=blue "
                     "LINE=\"-2147483648,0,2147483647,5\" RECT=\"-99999999,-5,99999999,9\" "
                     "X=2000000000 Y=-2000000000 FONT=$font$ TEXT=x COPY=g ROTATE=7>[$velerr$]"
                     "<PICT NAME=g DEST=\"$zero$\">[$velerrmsg$]"
                     "<PICT NAME=g DEST=nodir/g.png>[$velerr$]"
                     "<PICT NAME=g DEST=../../dev/full>[$velerr$]"
                     "<PICT NAME=g DEST=\"\">[$velerrmsg$]"
                     "<PICT NAME=g FONT=nofont.ttf TEXT=x>[$velerr$|$velerrmsg$]"
                     "<PICT NAME=g FONT=$font$ SIZE=100000 TEXT=x>[$velerr$]"
                     "<PICT FONT=nofont.ttf CALC=x GETW=w>[$velerr$|$velerrmsg$|$w$]"),
            "[0][ERROR: SAVE IMAGE FAILED in PICT tag][1][1][ERROR: DEST empty in PICT tag !!]"
            "[2|ERROR: on ADDING TEXT in PICT tag][2][2|ERROR: on CALC TEXT in PICT tag|0]");
  EXPECT_FALSE(std::filesystem::exists(run.dir / "z.png"));
}

TEST(Pict, CalcMeasuresWithoutAnImage) {
  PictRun run;
  std::string out = run.Page(
      "<PICT FONT=$font$ SIZE=20 CALC=Hg GETW=w GETH=h GETY=y>"
      "<PICT FONT=$font$ SIZE=40 CALC=Hg GETW=w2>[$w$|$h$|$y$|$w2$]");
  int w = 0, h = 0, y = 0, w2 = 0;
  ASSERT_EQ(std::sscanf(out.c_str(), "[%d|%d|%d|%d]", &w, &h, &y, &w2), 4) << out;
  EXPECT_GT(w, 20);
  EXPECT_GT(h, 20);
  EXPECT_GT(y, 0);  // the g goes below the baseline
  EXPECT_NEAR(w2, 2 * w, 2);
}

TEST(ImageApi, GivesSizesAndJpegsOnWhite) {
  const ImageApi& api = *kwl_image_api();
  ASSERT_EQ(api.version, kImageApiVersion);
  GdPtr clear(gdImageCreateTrueColor(6, 4));
  gdImageSaveAlpha(clear.get(), 1);
  gdImageAlphaBlending(clear.get(), 0);
  gdImageFilledRectangle(clear.get(), 0, 0, 5, 3, gdTrueColorAlpha(0, 0, 0, gdAlphaTransparent));
  std::string jpeg;
  int width = 0, height = 0;
  ASSERT_TRUE(api.toJpeg(Png(clear.get()), 80, jpeg, width, height));
  EXPECT_EQ(width, 6);
  EXPECT_EQ(height, 4);
  GdPtr back(gdImageCreateFromJpegPtr(static_cast<int>(jpeg.size()), jpeg.data()));
  ASSERT_TRUE(back);
  EXPECT_GT(gdImageGetTrueColorPixel(back.get(), 2, 2) & 0xFF, 240);

  ASSERT_TRUE(api.toJpeg(Jpeg(clear.get()), 80, jpeg, width, height));
  EXPECT_TRUE(jpeg.empty());
  EXPECT_EQ(width, 6);
  EXPECT_FALSE(api.toJpeg("GIF89a", 80, jpeg, width, height));
  EXPECT_FALSE(api.toJpeg("\xFF\xD8 not a header", 80, jpeg, width, height));
}

}  // namespace
}  // namespace kwl
