// Checks the cross-built Windows installer: a 32-bit GUI executable whose
// resources hold the icon group, the setup dialog and the picture.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "pe_image.h"

namespace {

constexpr uint32_t kBitmapType = 2, kIconType = 3, kDialogType = 5, kGroupIconType = 14;

// A predefined window class as its atom or its name, in either case.
std::string predefinedClass(const std::string& field) {
    std::string name;
    for (char c : field) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name == "#128" ? "button" : name == "#130" ? "static" : name;
}

class WindowsInstaller : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(exe.load(QMORA_WINDOWS_EXE)) << QMORA_WINDOWS_EXE; }
    PeImage exe;
};

TEST_F(WindowsInstaller, IsA32BitGuiExecutable) {
    EXPECT_EQ(exe.machine, 0x014C);        // i386
    EXPECT_EQ(exe.optionalMagic, 0x010B);  // PE32
    EXPECT_EQ(exe.subsystem, 2);           // Windows GUI
}

TEST_F(WindowsInstaller, IconGroupHoldsFourSixteenPixelDepths) {
    auto group = exe.resource(kGroupIconType, 107);
    ASSERT_TRUE(group);
    ByteCursor r{group->data, 2};
    EXPECT_EQ(r.u16(), 1);  // icons
    uint16_t count = r.u16();
    std::multiset<uint16_t> depths;
    for (uint16_t i = 0; i < count; ++i) {
        EXPECT_EQ(r.u8(), 16);  // width
        EXPECT_EQ(r.u8(), 16);  // height
        r.at += 4;              // colour count, reserved, planes
        uint16_t bits = r.u16();
        depths.insert(bits);
        r.at += 4;
        // The image the entry names exists and has that depth.
        auto image = exe.resource(kIconType, r.u16());
        ASSERT_TRUE(image);
        ByteCursor header{image->data, 4};
        EXPECT_EQ(header.u32(), 16u);
        EXPECT_EQ(header.u32(), 32u);  // colour rows and mask rows
        header.at += 2;
        EXPECT_EQ(header.u16(), bits);
    }
    EXPECT_FALSE(r.overrun);
    EXPECT_EQ(depths, (std::multiset<uint16_t>{4, 8, 24, 32}));
}

TEST_F(WindowsInstaller, SetupDialogTemplateMatchesTheLayout) {
    auto dialog = exe.resource(kDialogType, 129);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->language, 0x0409u);
    ByteCursor r{dialog->data};
    EXPECT_EQ(r.u16(), 1);       // DLGTEMPLATEEX version
    EXPECT_EQ(r.u16(), 0xFFFF);  // extended-template signature
    r.u32();                     // help id
    EXPECT_EQ(r.u32(), 0u);      // extended style
    EXPECT_EQ(r.u32(), 0x80080048u);
    uint16_t count = r.u16();
    ASSERT_EQ(count, 5);
    for (int expected : {0, 0, 128, 120}) EXPECT_EQ(r.u16(), expected);
    EXPECT_EQ(r.nameOrOrdinal(), "");  // no menu
    EXPECT_EQ(r.nameOrOrdinal(), "");  // the standard dialog class
    EXPECT_EQ(r.text(), "");           // no caption
    EXPECT_EQ(r.u16(), 8);             // point size
    EXPECT_EQ(r.u16(), 400);           // weight
    EXPECT_EQ(r.u8(), 0);              // not italic
    r.u8();                            // character set
    EXPECT_EQ(r.text(), "MS Shell Dlg");

    struct Control {
        uint32_t id;
        const char* windowClass;
        const char* text;
        uint32_t style;
        int x, y, cx, cy;
    };
    const Control expected[] = {
        {1001, "button", "Install", 0x50010000, 11, 80, 50, 14},
        {1004, "button", "Run", 0x50010000, 66, 80, 50, 14},
        {1007, "button", "Display Properties", 0x50010000, 11, 100, 105, 14},
        {0xFFFFFFFFu, "static", "#130", 0x5000120E, 7, 3, 114, 59},  // bitmap resource 130
        {1008, "static", "http://www.qmora-saver.example", 0x50020001, 7, 66, 114, 10},
    };
    for (const Control& want : expected) {
        SCOPED_TRACE(want.text);
        r.alignTo4();
        r.u32();                 // help id
        EXPECT_EQ(r.u32(), 0u);  // extended style
        EXPECT_EQ(r.u32(), want.style);
        for (int value : {want.x, want.y, want.cx, want.cy}) {
            EXPECT_EQ(static_cast<int16_t>(r.u16()), value);
        }
        EXPECT_EQ(r.u32(), want.id);
        EXPECT_EQ(predefinedClass(r.nameOrOrdinal()), want.windowClass);
        EXPECT_EQ(r.nameOrOrdinal(), want.text);
        r.at += r.u16();  // creation data
    }
    EXPECT_FALSE(r.overrun);
}

TEST_F(WindowsInstaller, PictureIsA99By57TrueColourBitmap) {
    auto bitmap = exe.resource(kBitmapType, 130);
    ASSERT_TRUE(bitmap);
    ByteCursor r{bitmap->data};
    EXPECT_EQ(r.u32(), 40u);  // BITMAPINFOHEADER
    EXPECT_EQ(r.u32(), 99u);
    EXPECT_EQ(r.u32(), 57u);
    EXPECT_EQ(r.u16(), 1);
    EXPECT_EQ(r.u16(), 24);
}

}  // namespace
