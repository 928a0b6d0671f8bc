#include "apps/IconRenderer.hpp"
#include "apps/IconTheme.hpp"
#include "apps/IconThemeIndex.hpp"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace orvik::helper {
namespace {

namespace fs = std::filesystem;

// A "hicolor" theme with a 48-pixel PNG of 48×32 and a scalable SVG of the same icon, and a pixmap.
class AppIcon : public testing::Test {
protected:
    void SetUp() override {
        const auto theme = root_ / "icons" / "hicolor";
        fs::create_directories(theme / "48x48" / "apps");
        fs::create_directories(theme / "scalable" / "apps");
        fs::create_directories(root_ / "pixmaps");
        std::ofstream(theme / "index.theme")
            << "[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps,scalable/apps\n\n[48x48/apps]\nSize=48\n"
               "Type=Fixed\n\n[scalable/apps]\nSize=128\nMinSize=56\nMaxSize=512\nType=Scalable\n";
        writePng(theme / "48x48" / "apps" / "tool.png", 48, 32);
        writePng(root_ / "pixmaps" / "legacy.png", 16, 16);
        std::ofstream(theme / "scalable" / "apps" / "tool.svg")
            << R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10"><rect width="10" height="10" fill="red"/></svg>)";
    }
    void TearDown() override { fs::remove_all(root_); }

    static void writePng(const fs::path& file, int width, int height) {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        cairo_t* context = cairo_create(surface);
        cairo_set_source_rgb(context, 0, 0, 1);
        cairo_paint(context);
        cairo_surface_write_to_png(surface, file.c_str());
        cairo_destroy(context);
        cairo_surface_destroy(surface);
    }

    // The file name found for `icon`; empty when none.
    std::string lookup(const std::string& icon, int size) const {
        const auto file = IconTheme("Missing", {root_ / "icons"}, {root_ / "pixmaps"}).lookup(icon, size);
        return file ? file->filename().string() : std::string();
    }

    fs::path root_ = fs::temp_directory_path() / ("orvik-icons-" + std::to_string(::getpid()));
};

// Width and height of PNG bytes, decoded.
std::pair<int, int> pngSize(const Bytes& png) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
    gdk_pixbuf_loader_write(loader, png.data(), png.size(), nullptr);
    gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbuf* image = gdk_pixbuf_loader_get_pixbuf(loader);
    std::pair<int, int> size =
        image ? std::pair(gdk_pixbuf_get_width(image), gdk_pixbuf_get_height(image)) : std::pair(0, 0);
    g_object_unref(loader);
    return size;
}

TEST_F(AppIcon, PicksTheDirectoryWhoseSizeFitsBestFallingBackToHicolorAndPixmaps) {
    EXPECT_EQ(lookup("tool", 48), "tool.png");
    EXPECT_EQ(lookup("tool", 64), "tool.svg");
    EXPECT_EQ(lookup("tool", 16), "tool.png");
    EXPECT_EQ(lookup("legacy", 64), "legacy.png");
    EXPECT_EQ(lookup("absent", 64), "");
    EXPECT_EQ(lookup("../pixmaps/legacy", 64), "");
}

// Sizes at the ends of the integer range, as a broken or hostile theme may write them, are compared without
// overflow: the directory that serves every size wins.
TEST_F(AppIcon, ThemeSizesAtTheEndsOfTheIntegerRangeStillPickTheFittingDirectory) {
    const auto theme = root_ / "icons" / "Extreme";
    for (const auto* directory : {"huge", "tiny", "wide"}) fs::create_directories(theme / directory);
    std::ofstream(theme / "index.theme")
        << "[Icon Theme]\nName=Extreme\nDirectories=huge,tiny,wide\n\n[huge]\nSize=2147483647\nThreshold=2\n\n"
           "[tiny]\nSize=-2147483648\nThreshold=2147483647\n\n[wide]\nSize=1\nType=Scalable\n"
           "MinSize=-2147483648\nMaxSize=2147483647\n";
    for (const auto* directory : {"huge", "tiny", "wide"}) writePng(theme / directory / "tool.png", 8, 8);
    const IconTheme extreme("Extreme", {root_ / "icons"}, {});
    for (const int size : {16, 256}) {
        const auto file = extreme.lookup("tool", size);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->parent_path().filename(), "wide") << size;
    }
}

TEST(IconThemeIndex, ReadsCommaSeparatedListsAndTheSizesOfEachDirectory) {
    const auto index =
        IconThemeIndex::parse("[Icon Theme]\nDirectories=16x16/apps,scalable/apps\nInherits=gnome,hicolor\n"
                              "[16x16/apps]\nSize=16\nType=Fixed\n"
                              "[scalable/apps]\nSize=64\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    ASSERT_TRUE(index);
    EXPECT_EQ(index->inherits, (std::vector<std::string>{"gnome", "hicolor"}));
    ASSERT_EQ(index->directories.size(), 2U);
    EXPECT_EQ(index->directories[0].distance(16), 0);
    EXPECT_EQ(index->directories[0].distance(20), 4);
    EXPECT_EQ(index->directories[1].distance(4), 4);
    EXPECT_EQ(index->directories[1].distance(600), 88);
    EXPECT_FALSE(IconThemeIndex::parse("[Desktop Entry]\nName=Not a theme\n"));
    EXPECT_FALSE(IconThemeIndex::parse("not a key file"));
}

TEST_F(AppIcon, RendersExactlyTheAskedSquareFromSvgAndFromAnOblongPng) {
    const auto folder = root_ / "icons" / "hicolor";
    for (const auto& file : {folder / "scalable" / "apps" / "tool.svg", folder / "48x48" / "apps" / "tool.png"}) {
        for (const int size : {16, 64, 256}) {
            const auto png = IconRenderer::render(file, size);
            ASSERT_TRUE(png) << file;
            EXPECT_EQ(pngSize(*png), std::pair(size, size)) << file << " at " << size;
        }
    }
    EXPECT_FALSE(IconRenderer::render(root_ / "index.theme", 64));
}

} // namespace
} // namespace orvik::helper
