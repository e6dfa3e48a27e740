// The about box and the command-line help.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <QLabel>
#include <QPushButton>
#include <QWindow>

#include "AboutUnit.h"
#include "CmdLineHelpUnit.h"
#include "CubicLabel.h"
#include "ResourceUnit.h"
#include "UiTestSupport.h"

TEST(AboutBox, VersionLabelFollowsTheVersionSource) {
  EXPECT_EQ(TAboutForm(ReadVersionInfo("3.1.1.7")).VersionLabel->text(), QStringLiteral("3.1.1.7版"));
  EXPECT_EQ(TAboutForm(ReadVersionInfo("10.20.300.4000")).VersionLabel->text(),
            QStringLiteral("10.20.300.4000版"));
  EXPECT_EQ(TAboutForm(ReadVersionInfo("")).VersionLabel->text(), QStringLiteral("Error版"));
  EXPECT_EQ(TAboutForm().VersionLabel->text(), QStringLiteral("3.1.1.7版"));
}

TEST(AboutBox, LabelsAreDrawnAsDesigned) {
  TAboutForm about;
  about.show();  // lays the labels out at the window's designed size
  EXPECT_EQ(about.windowTitle(), QStringLiteral("关于"));
  EXPECT_EQ(about.CubicLabel1->text(), QStringLiteral("Korvane"));
  EXPECT_EQ(about.CubicLabel4->text(), QStringLiteral("专用于Windows 95 && Windows NT 4.0"));
  for (TCubicLabel* label : {about.CubicLabel1, about.VersionLabel, about.CubicLabel4, about.CubicLabel3}) {
    EXPECT_TRUE(label->ShadowOnly() && label->CubicShadow() && label->HollowFace());
    EXPECT_EQ(label->ShadowDepth(), 3);
    EXPECT_EQ(label->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    // The text with its shadow fits the label it is drawn in.
    const QImage image = RenderWidget(*label);
    const QRect ink = InkBounds(image);
    EXPECT_FALSE(ink.isEmpty()) << label->text().toStdString();
    EXPECT_TRUE(QRect(1, 1, image.width() - 2, image.height() - 2).contains(ink))
        << label->text().toStdString() << " drawn at " << ink.x() << "," << ink.y() << " "
        << ink.width() << "x" << ink.height() << " in " << image.width() << "x" << image.height();
  }
  EXPECT_EQ(about.LogoImage->size(), QSize(265, 289));
  EXPECT_EQ(about.Button1->text(), QStringLiteral("关于本程序的命令行用法(&U)"));
  EXPECT_EQ(about.CloseButton->text(), QStringLiteral("关闭(&C)"));
}

TEST(HelpDialog, TextsAndColumns) {
  THelpDialog help;
  EXPECT_EQ(help.windowTitle(), QStringLiteral("关于Korvane的命令行"));
  EXPECT_EQ(help.CubicLabel1->text(), QStringLiteral("关于Korvane的命令行"));
  EXPECT_EQ(help.CubicLabel1->CubicFace(), cfRaised);
  EXPECT_EQ(help.Button1->text(), QStringLiteral("关闭(&C)"));
  const QList<QLabel*> lines = help.TextPanel->findChildren<QLabel*>();
  ASSERT_EQ(lines.size(), 9 + 5);
  auto find = [&](const char* text) -> QLabel* {
    for (QLabel* label : lines)
      if (label->text() == QString::fromUtf8(text)) return label;
    return nullptr;
  };
  QLabel* switchA = find("-A");
  QLabel* meaningA = find("包含所有文件属性");
  QLabel* meaningP = find("指示错误位置,并指定读取单位,读取单位为 1 至 1048576");
  QLabel* ignored = find("-B, -BT, -C, -E, -L, -N, -R, -W");
  QLabel* meaningIgnored = find("忽略这些参数,用于和 QLX 2.6 版兼容");
  ASSERT_TRUE(switchA && meaningA && meaningP && ignored && meaningIgnored);
  EXPECT_EQ(meaningA->y(), switchA->y());
  EXPECT_EQ(meaningP->y() - meaningA->y(), 16);
  EXPECT_EQ(meaningP->x(), meaningA->x());
  EXPECT_GT(meaningIgnored->x(), ignored->geometry().right());
  EXPECT_GT(meaningIgnored->x(), meaningA->x());
  // Nothing is cut off at the window's designed size.
  help.show();
  for (QLabel* label : lines)
    EXPECT_LE(label->geometry().right(), help.TextPanel->contentsRect().right())
        << label->text().toStdString();
  help.hide();
}

TEST(AboutBox, HelpOpensOverTheAboutBoxAndReturnsToIt) {
  TAboutForm about;
  THelpDialog help;
  about.ShowCommandLineHelp = [&] { help.ShowCommandLineHelp(); };
  std::vector<std::string> steps;
  OnNextModal([&](QWidget* top) {
    EXPECT_EQ(top, &about);
    steps.push_back("about");
    OnNextModal(
        [&](QWidget* second) {
          EXPECT_EQ(second, &help);
          EXPECT_TRUE(about.isVisible());
          EXPECT_EQ(help.windowHandle()->transientParent(), about.windowHandle());
          steps.push_back("help");
          OnNextModal(
              [&](QWidget* third) {
                EXPECT_EQ(third, &about);
                EXPECT_FALSE(help.isVisible());
                steps.push_back("about again");
                about.CloseButton->click();
              },
              &help);
          help.Button1->click();
        },
        &about);
    about.Button1->click();
    steps.push_back("help returned");
  });
  about.ShowAbout();
  EXPECT_FALSE(about.isVisible());
  // The last two may come in either order: both run in the about box's loop.
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_EQ(steps[0], "about");
  EXPECT_EQ(steps[1], "help");
  EXPECT_TRUE(std::is_permutation(steps.begin() + 2, steps.end(),
                                  std::vector<std::string>{"help returned", "about again"}.begin()));
}
