#include "dialogs/about_box.h"

#include <QBuffer>
#include <QFrame>
#include <QGuiApplication>
#include <QImageWriter>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QScreen>
#include <QShowEvent>

namespace zr {

namespace {

// The console's surface seen straight from above, drawn flat; the picture
// then tilts it away from the viewer.
constexpr int kSurfaceW = 640;
constexpr int kSurfaceH = 400;
constexpr int kStrips = 12;
constexpr int kStripW = 38;
constexpr int kStripsLeft = 18;

void DrawKnob(QPainter &p, QPointF centre, qreal r, QColor cap, qreal angleDeg)
{
  QRadialGradient g(centre - QPointF(r * 0.3, r * 0.3), r * 1.4);
  g.setColorAt(0, cap.lighter(160));
  g.setColorAt(1, cap.darker(170));
  p.setPen(QPen(QColor(20, 20, 22), 1.2));
  p.setBrush(g);
  p.drawEllipse(centre, r, r);
  p.save();
  p.translate(centre);
  p.rotate(angleDeg);
  p.setPen(QPen(QColor(240, 240, 240), 1.6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(0, -r * 0.2), QPointF(0, -r * 0.85));
  p.restore();
}

void DrawFader(QPainter &p, qreal x, qreal top, qreal bottom, qreal level)
{
  // Slot, scale marks, cap.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(12, 12, 14));
  p.drawRoundedRect(QRectF(x - 2, top, 4, bottom - top), 2, 2);
  p.setPen(QPen(QColor(150, 150, 155), 1));
  for (int i = 0; i <= 8; ++i) {
    const qreal y = top + (bottom - top) * i / 8.0;
    p.drawLine(QPointF(x - 11, y), QPointF(x - 6, y));
  }
  const qreal capY = bottom - (bottom - top) * level;
  QLinearGradient g(0, capY - 7, 0, capY + 7);
  g.setColorAt(0, QColor(225, 225, 230));
  g.setColorAt(0.5, QColor(150, 150, 158));
  g.setColorAt(1, QColor(90, 90, 96));
  p.setPen(QPen(QColor(30, 30, 30), 1));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(x - 10, capY - 7, 20, 14), 2, 2);
  p.setPen(QPen(QColor(30, 30, 30), 1.5));
  p.drawLine(QPointF(x - 9, capY), QPointF(x + 9, capY));
}

// Channel strip `s`: gain, three EQ knobs, pan, select and mute keys, a
// level meter and the fader.
void DrawChannelStrip(QPainter &p, int s)
{
  static const QColor knobColours[] = {QColor(200, 60, 50), QColor(70, 140, 200), QColor(70, 140, 200),
                                       QColor(70, 140, 200), QColor(210, 200, 80)};
  const qreal x0 = kStripsLeft + s * kStripW;
  const qreal cx = x0 + kStripW / 2.0;
  p.setPen(QPen(QColor(30, 31, 35), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(x0, 10, kStripW, kSurfaceH - 20));
  for (int k = 0; k < 5; ++k)
    DrawKnob(p, QPointF(cx, 30 + k * 30), 10, knobColours[k], -120 + ((s * 37 + k * 53) % 240));
  const bool selected = s == 3;
  const bool muted = s == 7 || s == 8;
  p.setPen(QPen(QColor(20, 20, 20), 1));
  p.setBrush(selected ? QColor(90, 220, 90) : QColor(110, 110, 115));
  p.drawRoundedRect(QRectF(cx - 12, 178, 24, 11), 2, 2);
  p.setBrush(muted ? QColor(240, 70, 50) : QColor(110, 110, 115));
  p.drawRoundedRect(QRectF(cx - 12, 194, 24, 11), 2, 2);
  // Meter: eight segments, lit from the bottom.
  const int lit = 2 + (s * 5 + 3) % 7;
  for (int seg = 0; seg < 8; ++seg) {
    QColor c = seg >= 7 ? QColor(240, 50, 40) : seg >= 5 ? QColor(240, 200, 40) : QColor(60, 220, 80);
    if (seg >= lit)
      c = c.darker(380);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRect(QRectF(x0 + kStripW - 9, 300 - seg * 9, 5, 7));
  }
  DrawFader(p, cx - 3, 222, 372, 0.35 + 0.5 * (((s * 7) % 11) / 10.0));
}

// The master section right of the strips: display, jog wheel and the
// stereo fader.
void DrawMasterSection(QPainter &p)
{
  const qreal mx = kStripsLeft + kStrips * kStripW + 10;
  const QRectF master(mx, 10, kSurfaceW - mx - 12, kSurfaceH - 20);
  p.setPen(QPen(QColor(30, 31, 35), 1));
  p.setBrush(QColor(58, 61, 68));
  p.drawRect(master);

  const QRectF display(master.left() + 10, 22, master.width() - 20, 74);
  p.setBrush(QColor(20, 30, 24));
  p.setPen(QPen(QColor(10, 10, 10), 2));
  p.drawRoundedRect(display, 4, 4);
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(24);
  f.setBold(true);
  p.setFont(f);
  p.setPen(QColor(120, 240, 160));
  p.drawText(display.adjusted(0, 4, 0, -30), Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("ZR4812"));
  f.setPixelSize(11);
  f.setBold(false);
  p.setFont(f);
  p.drawText(display.adjusted(6, 40, -6, -6), Qt::AlignHCenter | Qt::AlignVCenter,
             QStringLiteral("SCENE 01  48kHz"));

  DrawKnob(p, QPointF(master.center().x(), 170), 36, QColor(90, 92, 98), 30);
  p.setBrush(QColor(40, 40, 44));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(master.center().x() + 16, 158), 6, 6);
  DrawFader(p, master.center().x() - 14, 230, 372, 0.75);
  DrawFader(p, master.center().x() + 22, 230, 372, 0.75);
}

QImage PaintSurface()
{
  QImage img(kSurfaceW, kSurfaceH, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);

  QLinearGradient body(0, 0, 0, kSurfaceH);
  body.setColorAt(0, QColor(70, 74, 82));
  body.setColorAt(1, QColor(44, 46, 52));
  p.fillRect(img.rect(), body);
  for (int s = 0; s < kStrips; ++s)
    DrawChannelStrip(p, s);
  DrawMasterSection(p);
  return img;
}

} // namespace

QImage TAboutBox::PaintProductPicture()
{
  QImage picture(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);

  // Studio backdrop with a soft light from above.
  QRadialGradient backdrop(QPointF(kPictureWidth / 2.0, -40), kPictureWidth);
  backdrop.setColorAt(0, QColor(96, 112, 140));
  backdrop.setColorAt(1, QColor(14, 16, 24));
  p.fillRect(picture.rect(), backdrop);

  // The surface tilted away: its far edge narrower than its near edge.
  const QPolygonF flat(
      {QPointF(0, 0), QPointF(kSurfaceW, 0), QPointF(kSurfaceW, kSurfaceH), QPointF(0, kSurfaceH)});
  const QPolygonF tilted({QPointF(62, 34), QPointF(286, 34), QPointF(338, 196), QPointF(10, 196)});
  QTransform toTilted;
  if (!QTransform::quadToQuad(flat, tilted, toTilted))
    toTilted = QTransform::fromScale(double(kPictureWidth) / kSurfaceW, 196.0 / kSurfaceH);

  // Shadow under the front edge, then the console's front panel.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 110));
  p.drawEllipse(QRectF(0, 198, kPictureWidth, 34));
  QLinearGradient front(0, 196, 0, 214);
  front.setColorAt(0, QColor(36, 38, 44));
  front.setColorAt(1, QColor(18, 19, 22));
  p.setBrush(front);
  p.drawPolygon(QPolygonF({QPointF(10, 196), QPointF(338, 196), QPointF(334, 214), QPointF(14, 214)}));

  p.save();
  p.setTransform(toTilted);
  p.drawImage(0, 0, PaintSurface());
  p.restore();

  // A little light on the near edge.
  p.setPen(QPen(QColor(160, 170, 190, 160), 1.5));
  p.drawLine(QPointF(10, 196), QPointF(338, 196));
  return picture;
}

const QByteArray &TAboutBox::ProductPictureJpeg()
{
  static const QByteArray jpeg = [] {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    if (!writer.write(PaintProductPicture()))
      bytes.clear(); // no JPEG support in this Qt: the box shows the painting itself
    return bytes;
  }();
  return jpeg;
}

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("About"));
  setFixedSize(385, 365);
  QFont small = font();
  small.setPointSize(8);
  setFont(small);

  panel1_ = new QFrame(this);
  panel1_->setObjectName(QStringLiteral("Panel1"));
  panel1_->setGeometry(8, 8, 369, 305);
  // Lowered outside, raised inside: a sunken panel with a raised mid line.
  panel1_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel1_->setLineWidth(1);
  panel1_->setMidLineWidth(1);

  programIcon_ = new QLabel(panel1_);
  programIcon_->setObjectName(QStringLiteral("ProgramIcon"));
  programIcon_->setGeometry(11, 8, kPictureWidth, kPictureHeight);
  QPixmap picture;
  if (ProductPictureJpeg().isEmpty() || !picture.loadFromData(ProductPictureJpeg(), "JPEG"))
    picture = QPixmap::fromImage(PaintProductPicture());
  programIcon_->setPixmap(picture);
  programIcon_->setAccessibleName(QStringLiteral("Picture of the ZR4812 mixing console"));

  productName_ = new QLabel(QStringLiteral("ZR4812 File Exchange"), panel1_);
  productName_->setObjectName(QStringLiteral("ProductName"));
  productName_->move(12, 256);
  productName_->adjustSize();

  version_ = new QLabel(QStringLiteral("Version 1.1f"), panel1_);
  version_->setObjectName(QStringLiteral("Version"));
  version_->move(300, 256);
  version_->adjustSize();

  copyright_ = new QLabel(QStringLiteral("Copyright \u00a9 The ZR4812 File Exchange developers"), panel1_);
  copyright_->setObjectName(QStringLiteral("Copyright"));
  copyright_->move(47, 284);
  copyright_->adjustSize();

  okButton_ = new QPushButton(QStringLiteral("OK"), this);
  okButton_->setObjectName(QStringLiteral("OKButton"));
  okButton_->setGeometry(151, 332, 75, 25);
  okButton_->setDefault(true);
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::showEvent(QShowEvent *event)
{
  QDialog::showEvent(event);
  if (event->spontaneous())
    return;
  if (QScreen *screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  okButton_->setFocus(Qt::OtherFocusReason);
}

} // namespace zr
