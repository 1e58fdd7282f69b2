// The progress dialog (the main window's lists and menus off while shown,
// Cancel) and the about box (texts and its JPEG picture).
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

#include "dialogs/about_box.h"
#include "dialogs/progress_form.h"
#include "tests/widgets/widget_test_util.h"

using zr::TAboutBox;
using zr::TProgressForm;

namespace {

TEST(ProgressForm, StartsEmptyAtItsPlaces)
{
  TProgressForm form;
  EXPECT_EQ(form.height(), 65);
  EXPECT_GE(form.width(), 194);
  EXPECT_EQ(form.windowTitle(), "");
  EXPECT_EQ(form.ProgressBar1()->geometry(), QRect(8, 8, 152, 16));
  EXPECT_EQ(form.ProgressBar1()->minimum(), 0);
  EXPECT_EQ(form.ProgressBar1()->maximum(), 100);
  EXPECT_EQ(form.ProgressBar1()->value(), 0);
  EXPECT_EQ(form.Label1()->pos(), QPoint(168, 10));
  EXPECT_EQ(form.Label1()->text(), "0%");
  EXPECT_EQ(form.CancelBtn()->geometry(), QRect(48, 32, 73, 25));
  EXPECT_EQ(form.CancelBtn()->text(), "Cancel");
  EXPECT_FALSE(form.CancelBtn()->icon().isNull());
  EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowSystemMenuHint);
  // The client area may not grow past the window's limits.
  EXPECT_EQ(form.maximumSize(), TProgressForm::kMaximumWindow - TProgressForm::kFrame);
  // A wider font than the designed one widens the dialog instead of cutting
  // off the percentage.
  EXPECT_LE(form.Label1()->x() + form.Label1()->fontMetrics().horizontalAdvance("100%"), form.width());
}

// The lists and the menus take no input while it is visible; a box shown
// over the main window before it appeared stays usable.
TEST(ProgressForm, WhileVisibleTheMainWindowTakesNoInput)
{
  QMainWindow main;
  main.setCentralWidget(new QListWidget);
  main.menuBar()->addMenu(QStringLiteral("&File"));
  main.show();
  QMessageBox box(QMessageBox::Question, QStringLiteral("ZR4812 File Exchange"), QStringLiteral("Replace?"),
                  QMessageBox::Yes | QMessageBox::No, &main);
  box.show();
  TProgressForm form;
  form.SetMainWindow(&main);
  form.SetTitle("Receiving file nr 1 of 1.");
  form.SetMaximum(1);
  form.show();
  form.SetPosition(1);
  form.SetLabel("100%");
  EXPECT_FALSE(main.centralWidget()->isEnabled());
  EXPECT_FALSE(main.menuBar()->isEnabled());
  EXPECT_TRUE(box.isEnabled());
  EXPECT_TRUE(box.button(QMessageBox::No)->isEnabled());
  EXPECT_TRUE(form.isEnabled());
  EXPECT_TRUE(form.CancelBtn()->isEnabled());
  EXPECT_EQ(form.ProgressBar1()->value(), form.ProgressBar1()->maximum());
  EXPECT_EQ(form.Label1()->text(), "100%");
  // Shown again for the next block or file: it stays so.
  form.show();
  EXPECT_FALSE(main.centralWidget()->isEnabled());
  form.close();
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(main.centralWidget()->isEnabled());
  EXPECT_TRUE(main.menuBar()->isEnabled());
}

TEST(ProgressForm, TheKeyboardFocusGoesBackWhereItWas)
{
  QMainWindow main;
  auto *list = new QListWidget;
  main.setCentralWidget(list);
  main.show();
  list->setFocus();
  ASSERT_EQ(main.focusWidget(), list);
  TProgressForm form;
  form.SetMainWindow(&main);
  form.show();
  form.close();
  EXPECT_EQ(main.focusWidget(), list);
}

TEST(ProgressForm, CancelCallsBackThenHidesAndEnablesTheMainWindow)
{
  QMainWindow main;
  main.show();
  TProgressForm form;
  form.SetMainWindow(&main);
  int calls = 0;
  bool visibleDuringCall = false;
  form.SetCancelHandler([&] {
    ++calls;
    visibleDuringCall = form.isVisible();
  });
  form.show();
  QTest::keyClick(&form, Qt::Key_Escape); // Escape is not Cancel
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(calls, 0);
  QTest::mouseClick(form.CancelBtn(), Qt::LeftButton);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(visibleDuringCall);
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(main.isEnabled());
}

TEST(AboutBox, ShowsNameVersionAndAJpegPictureOfTheRightSize)
{
  TAboutBox box;
  EXPECT_EQ(box.windowTitle(), "About");
  EXPECT_EQ(box.size(), QSize(385, 365));
  EXPECT_EQ(box.Panel1()->geometry(), QRect(8, 8, 369, 305));
  EXPECT_EQ(box.ProgramIcon()->geometry(), QRect(11, 8, 348, 240));
  EXPECT_EQ(box.ProductName()->text(), "ZR4812 File Exchange");
  EXPECT_EQ(box.ProductName()->pos(), QPoint(12, 256));
  EXPECT_EQ(box.Version()->text(), "Version 1.1f");
  EXPECT_EQ(box.Version()->pos(), QPoint(300, 256));
  EXPECT_EQ(box.Copyright()->pos(), QPoint(47, 284));
  EXPECT_FALSE(box.Copyright()->text().isEmpty());
  EXPECT_EQ(box.OKButton()->geometry(), QRect(151, 332, 75, 25));

  const QByteArray &jpeg = TAboutBox::ProductPictureJpeg();
  ASSERT_GE(jpeg.size(), 3);
  EXPECT_EQ(jpeg.left(3), QByteArray("\xFF\xD8\xFF", 3)); // a JPEG stream
  QImage decoded;
  ASSERT_TRUE(decoded.loadFromData(jpeg, "JPEG"));
  EXPECT_EQ(decoded.size(), QSize(348, 240));
  EXPECT_EQ(box.ProgramIcon()->pixmap().size(), QSize(348, 240));
  // A picture, not a blank: many different colours.
  QSet<QRgb> colours;
  for (int y = 0; y < decoded.height(); y += 8)
    for (int x = 0; x < decoded.width(); x += 8)
      colours.insert(decoded.pixel(x, y));
  EXPECT_GT(colours.size(), 100);

  box.show();
  QTest::mouseClick(box.OKButton(), Qt::LeftButton);
  EXPECT_FALSE(box.isVisible());
  EXPECT_EQ(box.result(), QDialog::Accepted);
}

} // namespace
