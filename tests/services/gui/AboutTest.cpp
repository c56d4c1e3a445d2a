// The about box: its version line, centred lines, the link and its look, the
// icon, and Esc.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Graphics.h"
#include "services/UAbout.h"
#include "services/USystem.h"

namespace ond {
namespace {

class AboutTest : public testing::Test {
 protected:
  void TearDown() override { Settings.interface.view.language = 0; }
  std::vector<std::string> Opened;
  TAbout About{nullptr, [this](const std::string& url) {
                 Opened.push_back(url);
                 return true;
               }};
};

TEST_F(AboutTest, VersionLineShowsTheCompiledInVersion) {
  EXPECT_EQ(About.GetCaption(), "Ondrel");
  EXPECT_EQ(About.LabVersion->GetCaption(), "Ondrel " + TApplication::Version());
  EXPECT_EQ(About.ClientWidth(), 491);
  EXPECT_EQ(About.ClientHeight(), 125);
}

TEST_F(AboutTest, LinesAreCentredInTheirOrder) {
  for (TLabel* label : {About.LabVersion, About.LabFor, About.LabCopyRight})
    EXPECT_EQ(label->Left(), (About.ClientWidth() - label->Width()) / 2) << label->Name;
  EXPECT_EQ(About.LabVersion->Top(), 28);
  EXPECT_EQ(About.LabCopyRight->Top(), 57);
  EXPECT_EQ(About.LabFor->Top(), 82);
}

TEST_F(AboutTest, LinkOpensTheSiteInTheInterfaceLanguage) {
  Settings.interface.view.language = 0;
  About.LabFor->OnClick(About.LabFor);
  Settings.interface.view.language = 1;
  About.LabFor->OnClick(About.LabFor);
  EXPECT_EQ(Opened, (std::vector<std::string>{AboutSiteAddress, std::string(AboutSiteAddress) + "en/"}));
  EXPECT_EQ(std::string(AboutSiteAddress).back(), '/');
}

// The two free lines speak the interface language; the version line is the
// same in both.
TEST(AboutLanguage, FreeLinesFollowTheInterfaceLanguage) {
  struct TCase {
    int Language;
    std::string CopyRight;
    std::string For;
  };
  const TCase cases[] = {
      {0, "\xD0\xE5\xE4\xE0\xEA\xF2\xEE\xF0 \xED\xE0\xE1\xEE\xF0\xEE\xE2 \xEA\xEE\xED\xF4\xE8\xE3\xEE\xE2 "
          "\xEC\xEE\xE4\xE0 Quarn",
       "\xCC\xEE\xE4 Quarn \xE4\xEB\xFF World of Tanks"},
      {1, "Editor of the config sets of the Quarn mod", "The Quarn mod for World of Tanks"}};
  for (const TCase& c : cases) {
    Settings.interface.view.language = c.Language;
    TAbout about(nullptr, [](const std::string&) { return true; });
    EXPECT_EQ(about.LabCopyRight->GetCaption(), c.CopyRight);
    EXPECT_EQ(about.LabFor->GetCaption(), c.For);
    EXPECT_EQ(about.LabVersion->GetCaption(), "Ondrel " + TApplication::Version());
    for (TLabel* label : {about.LabFor, about.LabCopyRight})
      EXPECT_EQ(label->Left(), (about.ClientWidth() - label->Width()) / 2) << label->Name;
  }
  Settings.interface.view.language = 0;
}

TEST_F(AboutTest, LinkLooksLikeOneUnderThePointer) {
  About.LabFor->OnMouseEnter(About.LabFor);
  EXPECT_EQ(About.LabFor->GetCursor(), crHandPoint);
  EXPECT_EQ(About.LabFor->Font.GetColor(), 0xFF0000u);
  About.LabFor->OnMouseLeave(About.LabFor);
  EXPECT_EQ(About.LabFor->GetCursor(), crDefault);
  EXPECT_EQ(About.LabFor->Font.GetColor(), clWindowText);
}

TEST_F(AboutTest, IconIsPaintedAtTheLeft) {
  TBitmap icon;
  ASSERT_TRUE(icon.LoadFromResourceName("Ondrel"));
  TBitmap shot;
  About.Surface->PaintTo(shot);
  const int x = About.Surface->ClientWidth() / 10 - icon.Width() / 2;
  const int y = (About.Surface->ClientHeight() - icon.Height()) / 2;
  // The icon's solid border and the background beside it.
  EXPECT_EQ(shot.Canvas()->GetPixel(x + 16, y + 2), icon.Canvas()->GetPixel(16, 2));
  EXPECT_NE(shot.Canvas()->GetPixel(x + 16, y + 2), shot.Canvas()->GetPixel(x - 4, y + 2));
}

TEST_F(AboutTest, EscapeCloses) {
  About.ShowForm();
  ASSERT_TRUE(About.GetVisible());
  std::uint16_t other = 'A';
  About.FormKeyDown(other, 0);
  EXPECT_TRUE(About.GetVisible());
  std::uint16_t escape = 27;
  About.FormKeyDown(escape, 0);
  EXPECT_FALSE(About.GetVisible());
}

}  // namespace
}  // namespace ond
