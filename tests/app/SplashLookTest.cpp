// The splash window shows its picture and texts readably without a
// compositor: the window is cut to their shape, never drawn see-through.
#include "tools/Splashscreen.h"

#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

namespace {

// Darkest and lightest grey level inside a rectangle of the image.
std::pair<int, int> GreyRange(const QImage& image, const QRect& r)
{
    int lo = 255, hi = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const int g = qGray(image.pixel(x, y));
            lo = std::min(lo, g);
            hi = std::max(hi, g);
        }
    return {lo, hi};
}

} // namespace

TEST(SplashLook, NotSeeThroughButCutToThePictureAndTheTexts)
{
    TformSplash splash(nullptr);
    EXPECT_FALSE(splash.testAttribute(Qt::WA_TranslucentBackground)) << "black without a compositor";
    const QPixmap picture = splash.Image1->pixmap();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(213, 252));

    const QRegion shown = splash.mask();
    const QRect image = splash.Image1->geometry();
    EXPECT_TRUE(shown.contains(QPoint(image.center().x(), image.top() + 150))) << "the mast";
    EXPECT_FALSE(shown.contains(QPoint(image.left() + 2, image.top() + 2))) << "the picture's clear corner";
    EXPECT_FALSE(shown.contains(QPoint(0, 0)));
    EXPECT_FALSE(shown.contains(QPoint(splash.width() - 1, splash.height() - 1)));
    for (const QLabel* label : {splash.labelAppName, splash.labelVersion})
        EXPECT_TRUE(shown.contains(label->geometry().center())) << label->objectName().toStdString();
}

TEST(SplashLook, TheTextsReadOnTheirBand)
{
    TformSplash splash(nullptr);
    const QImage drawn = splash.grab().toImage();
    for (const QLabel* label : {splash.labelAppName, splash.labelVersion}) {
        const QRect band = splash.mask().intersected(label->geometry()).boundingRect();
        ASSERT_FALSE(band.isEmpty());
        const auto [dark, light] = GreyRange(drawn, band);
        EXPECT_GT(light - dark, 128) << label->objectName().toStdString() << ": the text stands out";
    }
}
