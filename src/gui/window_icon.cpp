#include "gui/window_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygon>

namespace varnelo::gui {

QIcon makeWindowIcon() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  // The photo: a sky, a hill and a frame.
  painter.fillRect(1, 3, 14, 12, QColor(0x4A, 0x90, 0xD9));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x3C, 0xA0, 0x3C));
  painter.drawPolygon(QPolygon({QPoint(1, 15), QPoint(6, 9), QPoint(10, 13), QPoint(12, 11),
                                QPoint(15, 15)}));
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QColor(0x20, 0x30, 0x50));
  painter.drawRect(1, 3, 13, 11);
  // The arrow pointing down into it.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xF0, 0x80, 0x10));
  painter.drawRect(10, 0, 3, 4);
  painter.drawPolygon(QPolygon({QPoint(8, 4), QPoint(15, 4), QPoint(11, 8)}));
  painter.end();
  return QIcon(pixmap);
}

}  // namespace varnelo::gui
