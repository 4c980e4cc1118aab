// The .res reader and the dialog-template, icon-group and bitmap parsers,
// on a resource file compiled by windres from data/resources.rc.
#include <cctype>
#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

#include "platform/dialog_template.h"
#include "platform/images.h"
#include "platform/resources.h"

namespace {

std::vector<unsigned char> readResFile() {
  std::ifstream in(PLATFORM_TEST_RES_FILE, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

// A control class, whether the template names it or gives its ordinal.
std::string className(const platform::NameOrOrdinal& windowClass) {
  std::string name = windowClass.isOrdinal ? platform::predefinedClassName(windowClass.ordinal)
                                           : windowClass.text;
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

const platform::ResourceEntry* entryOf(const std::vector<platform::ResourceEntry>& entries,
                                       int type, int name) {
  for (const auto& entry : entries) {
    if (entry.type.isOrdinal && entry.type.ordinal == type && entry.name.isOrdinal &&
        entry.name.ordinal == name) {
      return &entry;
    }
  }
  return nullptr;
}

TEST(ResourceFile, ListsEveryResourceWithTypeNameAndLanguage) {
  const auto bytes = readResFile();
  ASSERT_FALSE(bytes.empty());
  const auto entries = platform::parseResourceFile(bytes.data(), bytes.size());
  ASSERT_TRUE(entries);
  // Two icon images, their group, two bitmaps and three dialogs.
  EXPECT_EQ(entries->size(), 8u);
  const platform::ResourceEntry* dialog = entryOf(*entries, 5, 300);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->language, 0x0409);
  bool namedDialog = false;
  for (const auto& entry : *entries) {
    namedDialog |= !entry.name.isOrdinal && entry.name.text == "NAMED";
  }
  EXPECT_TRUE(namedDialog);
}

TEST(ResourceFile, TruncatedOrCorruptFilesAreRefusedWithoutCrashing) {
  auto bytes = readResFile();
  ASSERT_GT(bytes.size(), 64u);
  for (std::size_t length = 1; length < bytes.size(); length += 3) {
    std::vector<unsigned char> cut(bytes.begin(), bytes.begin() + static_cast<long>(length));
    const auto entries = platform::parseResourceFile(cut.data(), cut.size());
    if (entries) {
      EXPECT_LE(entries->size(), 8u) << length;
    }
  }
  // Cut inside the first resource's header.
  EXPECT_FALSE(platform::parseResourceFile(bytes.data(), 40));
  // A header size that points past the end.
  bytes[0x24] = 0xFF;
  EXPECT_FALSE(platform::parseResourceFile(bytes.data(), bytes.size()));
}

TEST(DialogTemplate, ReadsDialogAndEveryControl) {
  const auto bytes = readResFile();
  const auto entries = platform::parseResourceFile(bytes.data(), bytes.size());
  ASSERT_TRUE(entries);
  const platform::ResourceEntry* entry = entryOf(*entries, 5, 300);
  ASSERT_NE(entry, nullptr);
  const auto dialog = platform::parseDialogTemplate(entry->data, entry->size);
  ASSERT_TRUE(dialog);
  EXPECT_TRUE(dialog->extended);
  EXPECT_EQ(dialog->style, 0x80080048u);
  EXPECT_EQ(dialog->x, 10);
  EXPECT_EQ(dialog->y, 20);
  EXPECT_EQ(dialog->cx, 100);
  EXPECT_EQ(dialog->cy, 80);
  EXPECT_TRUE(dialog->hasFont);
  EXPECT_EQ(dialog->pointSize, 8);
  EXPECT_EQ(dialog->weight, 400);
  EXPECT_EQ(dialog->typeface, "MS Shell Dlg");
  ASSERT_EQ(dialog->items.size(), 5u);

  const platform::DialogItem& go = dialog->items[0];
  EXPECT_EQ(go.id, 11);
  EXPECT_EQ(className(go.windowClass), "BUTTON");
  EXPECT_EQ(go.text.text, "&Go");
  EXPECT_EQ(go.style, 0x50010000u);
  EXPECT_EQ(go.x, 5);
  EXPECT_EQ(go.y, 50);
  EXPECT_EQ(go.cx, 40);
  EXPECT_EQ(go.cy, 14);

  EXPECT_EQ(dialog->items[1].style, 0x58010000u);  // disabled in the template

  const platform::DialogItem& picture = dialog->items[2];
  EXPECT_EQ(picture.id, -1);
  EXPECT_EQ(className(picture.windowClass), "STATIC");
  EXPECT_TRUE(picture.text.isOrdinal);
  EXPECT_EQ(picture.text.ordinal, 202);
  EXPECT_EQ(picture.style, 0x5000120Eu);

  EXPECT_EQ(dialog->items[3].text.text, "link text");
  EXPECT_EQ(dialog->items[3].style, 0x50020001u);

  // Truncated templates are refused.
  for (std::size_t length = 0; length < entry->size; length += 5) {
    EXPECT_FALSE(platform::parseDialogTemplate(entry->data, length)) << length;
  }
}

TEST(DialogTemplate, ReadsClassNamesAndCaptions) {
  const auto bytes = readResFile();
  const auto entries = platform::parseResourceFile(bytes.data(), bytes.size());
  ASSERT_TRUE(entries);
  const platform::ResourceEntry* named = nullptr;
  for (const auto& entry : *entries) {
    if (!entry.name.isOrdinal && entry.name.text == "NAMED") named = &entry;
  }
  ASSERT_NE(named, nullptr);
  const auto dialog = platform::parseDialogTemplate(named->data, named->size);
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->title, "Named");
  EXPECT_FALSE(dialog->hasFont);
  ASSERT_EQ(dialog->items.size(), 1u);
  EXPECT_EQ(className(dialog->items[0].windowClass), "CUSTOMCLASS");
}

TEST(ImageResources, IconGroupAndBitmapHeaders) {
  const auto bytes = readResFile();
  const auto entries = platform::parseResourceFile(bytes.data(), bytes.size());
  ASSERT_TRUE(entries);
  const platform::ResourceEntry* group = entryOf(*entries, 14, 201);
  ASSERT_NE(group, nullptr);
  const auto icons = platform::parseIconGroup(group->data, group->size);
  ASSERT_TRUE(icons);
  ASSERT_EQ(icons->size(), 2u);
  EXPECT_EQ((*icons)[0].width, 16);
  EXPECT_EQ((*icons)[1].height, 32);
  EXPECT_EQ((*icons)[0].bitCount, 32);
  EXPECT_NE(entryOf(*entries, 3, (*icons)[1].iconId), nullptr);  // the image it names exists

  const platform::ResourceEntry* bitmapEntry = entryOf(*entries, 2, 202);
  ASSERT_NE(bitmapEntry, nullptr);
  const auto bitmap = platform::parseBitmap(bitmapEntry->data, bitmapEntry->size);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->width, 5);
  EXPECT_EQ(bitmap->height, 3);
  EXPECT_EQ(bitmap->bitCount, 24);
  // Rows are stored bottom-up; the top-left pixel is red.
  EXPECT_EQ(platform::bitmapPixel(*bitmap, 0, 0), std::optional<std::uint32_t>(RGB(255, 0, 0)));
  EXPECT_EQ(platform::bitmapPixel(*bitmap, 4, 2), std::optional<std::uint32_t>(RGB(0, 0, 255)));
  EXPECT_FALSE(platform::bitmapPixel(*bitmap, 5, 0));
  EXPECT_FALSE(platform::parseBitmap(bitmapEntry->data, 10));
}

TEST(ResourceLookup, EmbeddedResourcesAreFoundByOrdinalAndName) {
  EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(300), RT_DIALOG), nullptr);
  EXPECT_NE(FindResourceA(nullptr, "#300", RT_DIALOG), nullptr);
  EXPECT_NE(FindResourceA(nullptr, "named", RT_DIALOG), nullptr);
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(300), RT_BITMAP), nullptr);
  HRSRC bitmap = FindResourceA(nullptr, MAKEINTRESOURCEA(202), RT_BITMAP);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(SizeofResource(nullptr, bitmap), 102u - 14u);  // the file without its BITMAPFILEHEADER
  EXPECT_NE(LockResource(LoadResource(nullptr, bitmap)), nullptr);
  EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(201)), nullptr);
  EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(999)), nullptr);
}

}  // namespace
