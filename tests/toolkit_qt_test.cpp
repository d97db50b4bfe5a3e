// What only the Qt backend has to get right: the window placed with the frame
// an X11 window manager adds, and Qt's own texts in Chinese from the program
// itself rather than from an installed package.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTest>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "form/form1.h"

namespace {

xcb_atom_t atom(xcb_connection_t* x, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

std::vector<std::uint32_t> property(xcb_connection_t* x, xcb_window_t window, const char* name, xcb_atom_t type)
{
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(x, xcb_get_property(x, 0, window, atom(x, name), type, 0, 4), nullptr);
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    std::vector<std::uint32_t> values(data, data + xcb_get_property_value_length(reply) / 4);
    std::free(reply);
    return values;
}

struct Box {
    int left, top, width, height;
};

}  // namespace

// Under X11 the window's outer rectangle, frame and title bar included, is
// centred on the screen, and Form_Load reads the outer width with the frame.
TEST(Form, centresItsFrameOnAnX11Screen)
{
    if (QGuiApplication::platformName() != u"xcb")
        GTEST_SKIP() << "on " << QGuiApplication::platformName().toStdString() << " the window system places windows";
    Form1 form;
    const float width = form.width(), height = form.height();  // what Form_Load reads
    form.Form_Load();
    form.show();
    QWidget* window = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == u"Form1")
            window = w;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

    xcb_connection_t* x = qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const auto id = static_cast<xcb_window_t>(window->winId());
    // The frame as the window manager reports it on the mapped window.
    const bool managed = !property(x, screen->root, "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW).empty();
    std::vector<std::uint32_t> frame{0, 0, 0, 0};  // left, right, top, bottom
    if (managed) {
        ASSERT_TRUE(QTest::qWaitFor([&] {
            frame = property(x, id, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL);
            return frame.size() == 4;
        }));
        EXPECT_GT(frame[2], 0u) << "the window manager draws a title bar";
    }
    // The outer rectangle: the client area on the root window, grown by the frame.
    auto outer = [&] {
        xcb_get_geometry_reply_t* client = xcb_get_geometry_reply(x, xcb_get_geometry(x, id), nullptr);
        xcb_translate_coordinates_reply_t* at =
            xcb_translate_coordinates_reply(x, xcb_translate_coordinates(x, id, screen->root, 0, 0), nullptr);
        const Box box{at->dst_x - int(frame[0]), at->dst_y - int(frame[2]),
                      client->width + int(frame[0] + frame[1]), client->height + int(frame[2] + frame[3])};
        std::free(client);
        std::free(at);
        return box;
    };
    auto centred = [&](const Box& box) {
        return std::abs(2 * box.left + box.width - screen->width_in_pixels) <= 2 &&
               std::abs(2 * box.top + box.height - screen->height_in_pixels) <= 2;
    };
    (void)QTest::qWaitFor([&] { return centred(outer()); });  // the window manager may still be moving it
    const Box box = outer();
    EXPECT_NEAR(box.left, (screen->width_in_pixels - box.width) / 2.0, 1);
    EXPECT_NEAR(box.top, (screen->height_in_pixels - box.height) / 2.0, 1);
    const double twips = 1440.0 / window->logicalDpiX();
    EXPECT_FLOAT_EQ(width, float(box.width * twips));
    EXPECT_FLOAT_EQ(height, float(box.height * twips));
}

// The tests run where Qt's installed translations cannot be found (qt.conf
// beside them), so the Chinese texts they read come from the program itself.
TEST(Form, findsNoInstalledTranslationOfQt)
{
    const QString installed = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    EXPECT_FALSE(QFileInfo::exists(installed + QStringLiteral("/qtbase_zh_CN.qm"))) << installed.toStdString();
}
