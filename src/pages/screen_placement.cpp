#include "pages/screen_placement.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

namespace tarnwick::pages {
namespace {

constexpr const char* kPlacedProperty = "tarnwickPlaced";

// The title bar and borders around window: its own once the window system has
// framed it, else the anchor's (a window not yet shown has none to measure).
QMargins Decoration(const QWidget& window, const QWidget* anchor) {
  const auto measured = [](const QWidget& w) {
    const QRect frame = w.frameGeometry(), client = w.geometry();
    return QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                    frame.bottom() - client.bottom());
  };
  const QMargins own = window.isVisible() ? measured(window) : QMargins();
  if (!own.isNull() || !anchor || !anchor->isVisible()) return own;
  return measured(*anchor);
}

const QWidget* Anchor(const QWidget& window) {
  return window.parentWidget() ? window.parentWidget()->window() : nullptr;
}

QScreen* ScreenFor(const QWidget& window, const QWidget* anchor, bool moved) {
  if (moved)
    if (QScreen* at = QGuiApplication::screenAt(window.frameGeometry().center())) return at;
  if (anchor && anchor->screen()) return anchor->screen();
  return window.screen() ? window.screen() : QGuiApplication::primaryScreen();
}

}  // namespace

QRect FitInto(const QRect& frame, const QRect& available) {
  const QSize size = frame.size().boundedTo(available.size());
  const int left = std::clamp(frame.left(), available.left(), available.right() + 1 - size.width());
  const int top = std::clamp(frame.top(), available.top(), available.bottom() + 1 - size.height());
  return {QPoint(left, top), size};
}

void KeepOnScreen(QWidget& window) {
  const QWidget* anchor = Anchor(window);
  const bool moved = window.testAttribute(Qt::WA_Moved);
  QScreen* screen = ScreenFor(window, anchor, moved);
  if (!screen) return;
  if (window.screen() != screen) window.setScreen(screen);
  const QMargins decoration = Decoration(window, anchor);
  QRect frame(window.pos(), window.size().grownBy(decoration));
  if (!moved && anchor) frame.moveCenter(anchor->frameGeometry().center());
  const QRect fitted = FitInto(frame, screen->availableGeometry());
  window.resize(fitted.size().shrunkBy(decoration).expandedTo(window.minimumSize()));
  window.move(fitted.topLeft());
}

void FitMainWindow(QDialog& window) {
  QScreen* screen = ScreenFor(window, nullptr, window.testAttribute(Qt::WA_Moved));
  if (!screen) return;
  const QSize content = window.size();
  const QMargins decoration = Decoration(window, nullptr);
  const QSize room = screen->availableGeometry().size().shrunkBy(decoration);
  if (content.width() > room.width() || content.height() > room.height()) {
    // The controls' positions are fixed: they move, as they are, onto a page that scrolls.
    auto* page = new QWidget;
    for (QWidget* child : window.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (child->isWindow()) continue;
      const bool shown = !child->isHidden();
      child->setParent(page);
      child->setVisible(shown);
    }
    page->setFixedSize(content);
    auto* scroller = new QScrollArea;
    scroller->setWidget(page);
    scroller->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroller);
    window.setMinimumSize(0, 0);
    window.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window.resize(content.boundedTo(room));
  }
  KeepOnScreen(window);
}

}  // namespace tarnwick::pages
