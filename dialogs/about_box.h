// The about box: product name, version, copyright and a picture of the
// console.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QImage>

class QFrame;
class QLabel;
class QPushButton;

namespace zr {

class TAboutBox : public QDialog {
  Q_OBJECT
public:
  explicit TAboutBox(QWidget *parent = nullptr);

  static constexpr int kPictureWidth = 348;
  static constexpr int kPictureHeight = 240;

  // The product picture, painted once and kept as JPEG bytes, which is what
  // the box shows.
  static QImage PaintProductPicture();
  static const QByteArray &ProductPictureJpeg();

  QFrame *Panel1() const { return panel1_; }
  QLabel *ProgramIcon() const { return programIcon_; }
  QLabel *ProductName() const { return productName_; }
  QLabel *Version() const { return version_; }
  QLabel *Copyright() const { return copyright_; }
  QPushButton *OKButton() const { return okButton_; }

protected:
  void showEvent(QShowEvent *event) override;

private:
  QFrame *panel1_;
  QLabel *programIcon_;
  QLabel *productName_;
  QLabel *version_;
  QLabel *copyright_;
  QPushButton *okButton_;
};

} // namespace zr
