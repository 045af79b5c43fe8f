#include "gui/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <qdrawutil.h>
#include <QTimer>

#include "app/engine.h"
#include "gui/window_controls.h"
#include "gui/window_icon.h"

namespace varnelo::gui {

namespace {

const char* const kTitle = "Varnelo 多线程专版-专注性能情况下使用（各个网页内使用单线程）";

// The style whose progress bars are drawn in separate blocks; null when this
// Qt has none, and the bars then fill smoothly.
QStyle* makeSegmentedBarStyle(QObject* owner) {
  QStyle* style = QStyleFactory::create(QStringLiteral("Windows"));
  if (style) style->setParent(owner);
  return style;
}

// A group box drawn the classic way: the frame line runs through the middle
// of the caption, so the bars placed 16 pixels below the box's top edge sit
// inside the frame whatever the style's own caption layout.
class PoolGroupBox final : public QGroupBox {
 public:
  using QGroupBox::QGroupBox;

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    qDrawShadeRect(&painter, rect().adjusted(0, metrics.height() / 2, 0, 0), palette(),
                   /*sunken=*/true, /*lineWidth=*/1, /*midLineWidth=*/0);
    const QRect caption(6, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
    painter.fillRect(caption, palette().window());
    style()->drawItemText(&painter, caption, Qt::AlignCenter, palette(), isEnabled(), title(),
                          QPalette::WindowText);
  }
};

}  // namespace

WindowHandlers engineHandlers(Engine& engine) {
  return {
      .created = [&engine] { engine.clearSlotHandles(); },
      .startPressed = [&engine] { engine.startDownload(); },
      .timerTick = [&engine] { engine.refreshProgress(); },
  };
}

MainWindow::MainWindow(WindowHandlers handlers, WindowControls& controls)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      handlers_(std::move(handlers)),
      controls_(controls) {
  setWindowTitle(QString::fromUtf8(kTitle));
  setWindowIcon(makeWindowIcon());
  setFixedSize(kClientWidth, kClientHeight);
  buildControls();
  centreOnScreen();
  controls_.attach(this);

  timer_ = new QTimer(this);
  timer_->setObjectName(QStringLiteral("时钟1"));
  timer_->setInterval(kTimerIntervalMs);
  connect(timer_, &QTimer::timeout, this, [this] {
    if (handlers_.timerTick) handlers_.timerTick();
  });
  timer_->start();

  if (handlers_.created) handlers_.created();
}

MainWindow::~MainWindow() { controls_.attach(nullptr); }

QProgressBar* MainWindow::bar(int slot) const {
  if (slot < 1 || slot > kBarCount) return nullptr;
  return bars_[static_cast<std::size_t>(slot - 1)];
}

void MainWindow::closeEvent(QCloseEvent* event) {
  timer_->stop();
  event->accept();
}

void MainWindow::buildControls() {
  addressBox_ = new QPlainTextEdit(this);
  addressBox_->setObjectName(QStringLiteral("编辑框1"));
  addressBox_->setGeometry(8, 8, 664, 264);
  addressBox_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  addressBox_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  addressBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  addressBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  addressBox_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  addressBox_->setTabChangesFocus(true);
  QPalette boxPalette = addressBox_->palette();
  boxPalette.setColor(QPalette::Base, Qt::white);
  boxPalette.setColor(QPalette::Text, Qt::black);
  addressBox_->setPalette(boxPalette);

  poolBox_ = new PoolGroupBox(QStringLiteral("线程池"), this);
  poolBox_->setObjectName(QStringLiteral("分组框1"));
  poolBox_->setGeometry(8, 280, 664, 128);

  QStyle* barStyle = makeSegmentedBarStyle(this);
  for (int k = 1; k <= kBarCount; ++k) {
    auto* bar = new QProgressBar(poolBox_);
    bar->setObjectName(QStringLiteral("进度条%1").arg(k));
    // Within the group box; 24 + 32 (k - 1), 296 in the window.
    bar->setGeometry(16 + 32 * (k - 1), 16, 24, 104);
    bar->setOrientation(Qt::Vertical);
    bar->setInvertedAppearance(false);  // fills from the bottom up
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    if (barStyle) bar->setStyle(barStyle);
    bars_[static_cast<std::size_t>(k - 1)] = bar;
  }

  statusLabel_ = new QLabel(QStringLiteral("就绪"), this);
  statusLabel_->setObjectName(QStringLiteral("标签1"));
  statusLabel_->setGeometry(8, 408, 400, 40);
  statusLabel_->setFrameShape(QFrame::NoFrame);
  statusLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  statusLabel_->setTextFormat(Qt::PlainText);

  overwriteCheckBox_ = new QCheckBox(QStringLiteral("覆盖目录"), this);
  overwriteCheckBox_->setObjectName(QStringLiteral("选择框1"));
  overwriteCheckBox_->setGeometry(416, 424, 80, 24);
  overwriteCheckBox_->setChecked(true);

  startButton_ = new QPushButton(QStringLiteral("开始下载"), this);
  startButton_->setObjectName(QStringLiteral("按钮1"));
  startButton_->setGeometry(512, 416, 160, 32);
  connect(startButton_, &QPushButton::clicked, this, [this] {
    if (handlers_.startPressed) handlers_.startPressed();
  });

  setTabOrder(addressBox_, overwriteCheckBox_);
  setTabOrder(overwriteCheckBox_, startButton_);
}

void MainWindow::centreOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  move(area.x() + (area.width() - kOuterWidth) / 2, area.y() + (area.height() - kOuterHeight) / 2);
}

}  // namespace varnelo::gui
