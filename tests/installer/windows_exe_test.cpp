// Checks the cross-built Windows installer: a 32-bit GUI executable whose
// resources hold the icon group, the setup dialog and the picture.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "pe_image.h"

namespace {

constexpr uint32_t kBitmapType = 2, kIconType = 3, kDialogType = 5, kGroupIconType = 14;

class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    uint16_t u16() {
        if (at_ + 2 > bytes_.size()) {
            overrun_ = true;
            return 0;
        }
        uint16_t v = static_cast<uint16_t>(bytes_[at_] | bytes_[at_ + 1] << 8);
        at_ += 2;
        return v;
    }
    uint32_t u32() {
        uint32_t low = u16();
        return low | static_cast<uint32_t>(u16()) << 16;
    }
    uint8_t u8() {
        if (at_ >= bytes_.size()) {
            overrun_ = true;
            return 0;
        }
        return bytes_[at_++];
    }
    // A UTF-16 string of ASCII characters, up to its NUL.
    std::string text() {
        std::string s;
        for (uint16_t c = u16(); c != 0 && !overrun_; c = u16()) s += static_cast<char>(c);
        return s;
    }
    // A name-or-ordinal field: "#<n>" for an ordinal, else the text.
    std::string nameOrOrdinal() {
        if (at_ + 2 <= bytes_.size() && bytes_[at_] == 0xFF && bytes_[at_ + 1] == 0xFF) {
            u16();
            return "#" + std::to_string(u16());
        }
        return text();
    }
    void alignTo4() { at_ = (at_ + 3) & ~size_t{3}; }
    void skip(size_t n) { at_ += n; }
    bool overrun() const { return overrun_ || at_ > bytes_.size(); }

private:
    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
    bool overrun_ = false;
};

// A predefined window class as its atom or its name, in either case.
std::string predefinedClass(const std::string& field) {
    std::string name;
    for (char c : field) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "#128") return "button";
    if (name == "#130") return "static";
    return name;
}

struct Control {
    uint32_t id;
    std::string windowClass;
    std::string text;
    uint32_t style;
    int x, y, cx, cy;
};

class WindowsInstaller : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(exe.load(QMORA_WINDOWS_EXE)) << exe.error(); }
    PeImage exe;
};

TEST_F(WindowsInstaller, IsA32BitGuiExecutable) {
    EXPECT_EQ(exe.machine(), 0x014C);        // i386
    EXPECT_EQ(exe.optionalMagic(), 0x010B);  // PE32
    EXPECT_EQ(exe.subsystem(), 2);           // Windows GUI
}

TEST_F(WindowsInstaller, IconGroupHoldsFourSixteenPixelDepths) {
    auto group = exe.resource(kGroupIconType, 107);
    ASSERT_TRUE(group);
    Reader r(group->data);
    EXPECT_EQ(r.u16(), 0);
    EXPECT_EQ(r.u16(), 1);  // icons
    uint16_t count = r.u16();
    std::multiset<uint16_t> depths;
    for (uint16_t i = 0; i < count; ++i) {
        EXPECT_EQ(r.u8(), 16);  // width
        EXPECT_EQ(r.u8(), 16);  // height
        r.skip(4);              // colour count, reserved, planes
        uint16_t bits = r.u16();
        depths.insert(bits);
        r.skip(4);
        uint16_t iconId = r.u16();
        // The image the entry names exists and has that depth.
        auto image = exe.resource(kIconType, iconId);
        ASSERT_TRUE(image) << "icon " << iconId;
        Reader header(image->data);
        EXPECT_EQ(header.u32(), 40u);
        EXPECT_EQ(header.u32(), 16u);
        EXPECT_EQ(header.u32(), 32u);  // colour rows and mask rows
        header.u16();
        EXPECT_EQ(header.u16(), bits);
    }
    EXPECT_FALSE(r.overrun());
    EXPECT_EQ(depths, (std::multiset<uint16_t>{4, 8, 24, 32}));
}

TEST_F(WindowsInstaller, SetupDialogTemplateMatchesTheLayout) {
    auto dialog = exe.resource(kDialogType, 129);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->language, 0x0409u);
    Reader r(dialog->data);
    EXPECT_EQ(r.u16(), 1);       // DLGTEMPLATEEX version
    EXPECT_EQ(r.u16(), 0xFFFF);  // extended-template signature
    r.u32();                     // help id
    EXPECT_EQ(r.u32(), 0u);      // extended style
    EXPECT_EQ(r.u32(), 0x80080048u);
    uint16_t count = r.u16();
    EXPECT_EQ(count, 5);
    EXPECT_EQ(r.u16(), 0);  // x, y, cx, cy
    EXPECT_EQ(r.u16(), 0);
    EXPECT_EQ(r.u16(), 128);
    EXPECT_EQ(r.u16(), 120);
    EXPECT_EQ(r.nameOrOrdinal(), "");  // no menu
    EXPECT_EQ(r.nameOrOrdinal(), "");  // the standard dialog class
    EXPECT_EQ(r.text(), "");           // no caption
    EXPECT_EQ(r.u16(), 8);             // point size
    EXPECT_EQ(r.u16(), 400);           // weight
    EXPECT_EQ(r.u8(), 0);              // not italic
    r.u8();                            // character set
    EXPECT_EQ(r.text(), "MS Shell Dlg");

    const Control expected[] = {
        {1001, "button", "Install", 0x50010000, 11, 80, 50, 14},
        {1004, "button", "Run", 0x50010000, 66, 80, 50, 14},
        {1007, "button", "Display Properties", 0x50010000, 11, 100, 105, 14},
        {0xFFFFFFFFu, "static", "#130", 0x5000120E, 7, 3, 114, 59},  // bitmap resource 130
        {1008, "static", "http://www.qmora-saver.example", 0x50020001, 7, 66, 114, 10},
    };
    for (uint16_t i = 0; i < count && i < 5; ++i) {
        SCOPED_TRACE("control " + std::to_string(i));
        const Control& want = expected[i];
        r.alignTo4();
        r.u32();                 // help id
        EXPECT_EQ(r.u32(), 0u);  // extended style
        EXPECT_EQ(r.u32(), want.style);
        EXPECT_EQ(static_cast<int16_t>(r.u16()), want.x);
        EXPECT_EQ(static_cast<int16_t>(r.u16()), want.y);
        EXPECT_EQ(static_cast<int16_t>(r.u16()), want.cx);
        EXPECT_EQ(static_cast<int16_t>(r.u16()), want.cy);
        EXPECT_EQ(r.u32(), want.id);
        EXPECT_EQ(predefinedClass(r.nameOrOrdinal()), want.windowClass);
        EXPECT_EQ(r.nameOrOrdinal(), want.text);
        r.skip(r.u16());  // creation data
    }
    EXPECT_FALSE(r.overrun());
}

TEST_F(WindowsInstaller, PictureIsA99By57TrueColourBitmap) {
    auto bitmap = exe.resource(kBitmapType, 130);
    ASSERT_TRUE(bitmap);
    Reader r(bitmap->data);
    EXPECT_EQ(r.u32(), 40u);  // BITMAPINFOHEADER
    EXPECT_EQ(r.u32(), 99u);
    EXPECT_EQ(r.u32(), 57u);
    EXPECT_EQ(r.u16(), 1);
    EXPECT_EQ(r.u16(), 24);
    EXPECT_EQ(bitmap->data.size(), 40u + 300u * 57u);  // rows padded to 4 bytes
}

}  // namespace
