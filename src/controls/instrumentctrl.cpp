// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/instrumentctrl.h"

#include "controls/accessibleinstrument.h"
#include "platform/ui/dialogtemplate.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/window.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <stdexcept>

std::array<KeyInfo, CInstrumentCtrl::KeyCount> CInstrumentCtrl::KeyTable{};
std::array<int, CInstrumentCtrl::WhiteKeyCount> CInstrumentCtrl::WhiteKeyTable{};
bool CInstrumentCtrl::ControlsReady = false;
bool CInstrumentCtrl::PlayMode = false;
bool CInstrumentCtrl::ShapeMarks = false;
std::array<const char*, 4> CInstrumentCtrl::s_classNames{};
std::vector<CInstrumentCtrl*> CInstrumentCtrl::s_controls;
std::array<bool, CInstrumentCtrl::KeyCount> CInstrumentCtrl::s_playedWrong{};

CInstrumentCtrl::CInstrumentCtrl(int controlId, const char* className, QWidget* parent)
    : QWidget(parent), m_controlId(controlId)
{
    ControlsReady = false;
    if (controlId >= 0 && controlId < int(s_classNames.size()))
        s_classNames[controlId] = className;
    if (!RegisterWindowClass(controlId))
        throw std::runtime_error("window class registration failed");
    setProperty("windowClass", QString::fromLatin1(className));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    // Reached by Tab and by a click, as any control of a dialog.
    setFocusPolicy(Qt::StrongFocus);
    accessibility::installFactory();
    s_controls.push_back(this);
}

CInstrumentCtrl::~CInstrumentCtrl()
{
    s_controls.erase(std::remove(s_controls.begin(), s_controls.end(), this), s_controls.end());
}

void CInstrumentCtrl::SetShapeMarks(bool on)
{
    if (ShapeMarks == on)
        return;
    ShapeMarks = on;
    // A redraw may notify a listener that creates or destroys a control.
    const std::vector<CInstrumentCtrl*> controls = s_controls;
    for (CInstrumentCtrl* control : controls) {
        if (std::find(s_controls.begin(), s_controls.end(), control) != s_controls.end())
            control->redrawMarks();
    }
}

void CInstrumentCtrl::StoreMark(int keyIndex, int mark)
{
    if (keyIndex < 0 || keyIndex >= KeyCount)
        return;
    KeyTable[keyIndex].mark = mark;
    s_playedWrong[keyIndex] = false;
    if (mark != Red)
        return;
    for (int k = 0; k < KeyCount; ++k) {
        if (k != keyIndex && KeyTable[k].mark == Blue)
            s_playedWrong[k] = true;
    }
}

MarkMeaning CInstrumentCtrl::MeaningOf(int keyIndex)
{
    if (keyIndex < 0 || keyIndex >= KeyCount)
        return MarkMeaning::Nothing;
    switch (KeyTable[keyIndex].mark) {
    case Red:
    case Green:
        return MarkMeaning::ToPlay;
    case Blue:
        return s_playedWrong[keyIndex] ? MarkMeaning::PlayedWrong : MarkMeaning::PlayedRight;
    default:
        return MarkMeaning::Nothing;
    }
}

bool CInstrumentCtrl::RegisterWindowClass(int controlId)
{
    const char* name = ClassName(controlId);
    return name && platform::RegisterWindowClass(QString::fromLatin1(name));
}

const char* CInstrumentCtrl::ClassName(int controlId)
{
    return controlId >= 0 && controlId < int(s_classNames.size()) ? s_classNames[controlId] : nullptr;
}

void CInstrumentCtrl::MoveTo(int controlId, int x, int y, int height, int width)
{
    setGeometry(x, y, width, height);
    NotifyCtrlMoved(controlId, QPoint(x, y + height));
}

void CInstrumentCtrl::Resize(int controlId, int height, int width)
{
    const QPoint p = GetPosition();
    MoveTo(controlId, p.x(), p.y(), height, width);
}

void CInstrumentCtrl::AddListener(CInstrumentCtrlListener* listener)
{
    std::lock_guard lock(m_listenerLock);
    m_listeners.push_back(listener);
}

void CInstrumentCtrl::RemoveListener(CInstrumentCtrlListener* listener)
{
    std::lock_guard lock(m_listenerLock);
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

int CInstrumentCtrl::ListenerCount() const
{
    std::lock_guard lock(m_listenerLock);
    return int(m_listeners.size());
}

void CInstrumentCtrl::NotifyNoteOn(int note)
{
    std::lock_guard lock(m_listenerLock);
    for (auto* l : m_listeners)
        l->OnNoteOnFromControl(m_controlId, note);
}

void CInstrumentCtrl::NotifyNoteOff(int note)
{
    std::lock_guard lock(m_listenerLock);
    for (auto* l : m_listeners)
        l->OnNoteOff(note);
}

void CInstrumentCtrl::NotifyRangeChanged(const NoteRange* ranges)
{
    std::lock_guard lock(m_listenerLock);
    for (auto* l : m_listeners)
        l->OnRangeChanged(ranges);
}

void CInstrumentCtrl::NotifyCtrlMoved(int controlId, const QPoint& point)
{
    std::lock_guard lock(m_listenerLock);
    for (auto* l : m_listeners)
        l->OnCtrlMoved(controlId, &point);
}

void CInstrumentCtrl::NotifyRedrawRequest()
{
    std::lock_guard lock(m_listenerLock);
    for (auto* l : m_listeners)
        l->OnRedrawRequest();
}

bool CInstrumentCtrl::GetKeyIndex(int note, int& keyIndex)
{
    keyIndex = note - 21;
    return keyIndex >= 0 && keyIndex < KeyCount;
}

qreal CInstrumentCtrl::pixelRatio() const
{
    const qreal r = devicePixelRatioF();
    return r > 1.0 ? 2.0 : 1.0; // pictures exist at 1× and 2×
}

bool CInstrumentCtrl::prepareSurface(const QSize& size, const QString& errorText)
{
    const qreal ratio = pixelRatio();
    if (!m_surface.isNull() && m_surface.size() == size * ratio)
        return true;
    m_surface = QImage(size * ratio, QImage::Format_ARGB32_Premultiplied);
    if (m_surface.isNull()) {
        platform::MessageBox(this, errorText, tr("Ошибка"), platform::MsgIcon::None);
        return false;
    }
    m_surface.setDevicePixelRatio(ratio);
    m_surface.fill(Qt::white);
    return true;
}

void CInstrumentCtrl::presentSurface()
{
    update();
}

void CInstrumentCtrl::paintEvent(QPaintEvent*)
{
    if (m_surface.isNull())
        return;
    QPainter p(this);
    p.drawImage(QPoint(0, 0), m_surface);
    if (hasFocus())
        paintFocus(p);
}

void CInstrumentCtrl::drawFocusOutline(QPainter& painter, const QRect& rect)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    // An outline drawn through the rectangle's own edge pixels.
    const QRect edge = rect.adjusted(0, 0, -1, -1);
    // Black dots on a white line: seen on white keys, black keys and dark wood.
    painter.setPen(QPen(Qt::white, 0));
    painter.drawRect(edge);
    painter.setPen(QPen(Qt::black, 0, Qt::DotLine));
    painter.drawRect(edge);
    painter.restore();
}

bool CInstrumentCtrl::setFocusNote(int)
{
    return false;
}

void CInstrumentCtrl::storeFocusNote(int note)
{
    if (note == m_focusNote)
        return;
    m_focusNote = note;
    update();
    valueMayHaveChanged();
}

void CInstrumentCtrl::valueMayHaveChanged()
{
    if (!accessibility::listening())
        return;
    const QString value = accessibleValue();
    if (value == m_lastValue)
        return;
    m_lastValue = value;
    QAccessibleValueChangeEvent event(this, m_focusNote);
    accessibility::notify(event);
    QAccessibleEvent named(this, QAccessible::NameChanged);
    accessibility::notify(named);
}

namespace {

bool isPlayKey(int key)
{
    return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool isMoveKey(int key)
{
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return false;
    }
}

// Plain keys only: Ctrl and Alt combinations belong to the window's shortcuts.
bool plain(const QKeyEvent& event)
{
    return !(event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

} // namespace

bool CInstrumentCtrl::handlesKey(const QKeyEvent& event) const
{
    if (!plain(event))
        return false;
    const int key = event.key();
    if (isPlayKey(key))
        return canPlay() || m_heldNote >= 0 || clicks();
    return isMoveKey(key) && movesFocus();
}

void CInstrumentCtrl::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (plain(*event) && isPlayKey(key) && (canPlay() || m_heldNote >= 0)) {
        event->accept();
        // A held key repeats; a second play key while one is held is no new press.
        if (event->isAutoRepeat() || m_heldNote >= 0 || m_focusNote < 0)
            return;
        m_heldKey = key;
        m_heldNote = m_focusNote;
        playPressed(m_heldNote);
        return;
    }
    if (plain(*event) && isPlayKey(key) && clicks()) {
        event->accept();
        if (!event->isAutoRepeat())
            click();
        return;
    }
    if (plain(*event) && isMoveKey(key) && movesFocus()) {
        event->accept();
        moveFocus(*event);
        return;
    }
    QWidget::keyPressEvent(event);
}

void CInstrumentCtrl::keyReleaseEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (isPlayKey(key) && m_heldNote >= 0) {
        event->accept();
        if (!event->isAutoRepeat() && key == m_heldKey) {
            const int note = m_heldNote;
            m_heldNote = -1;
            m_heldKey = 0;
            playReleased(note);
        }
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void CInstrumentCtrl::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void CInstrumentCtrl::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    // The key-up will go elsewhere: the held note must not stay down.
    if (m_heldNote >= 0) {
        const int note = m_heldNote;
        m_heldNote = -1;
        m_heldKey = 0;
        playReleased(note);
    }
    update();
}

void CInstrumentCtrl::drawFrame(QPainter& painter, const QSize& clientSize)
{
    const int r = clientSize.width() - 1;
    const int b = clientSize.height() - 1;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::black, 0));
    const QPoint pts[] = {{0, b}, {0, 0}, {r, 0}, {r, b}, {0, b}};
    painter.drawPolyline(pts, 5);
    painter.restore();
}

void CInstrumentCtrl::beginDrag(const QPoint& press)
{
    if (!m_captured) {
        platform::SetCapture(this);
        m_captured = true;
    }
    platform::SetCursor(this, platform::CursorKind::SizeAll);
    m_dragPress = press;
    m_dragStart = GetPosition();
}

void CInstrumentCtrl::dragStep(const QPoint& point, int height, int width)
{
    platform::SetCursor(this, platform::CursorKind::SizeAll);
    if (point != m_dragPress) {
        m_dragStart += point - m_dragPress;
        MoveTo(m_controlId, m_dragStart.x(), m_dragStart.y(), height, width);
    }
}

void CInstrumentCtrl::endDrag()
{
    if (m_captured) {
        platform::ReleaseCapture(this);
        m_captured = false;
    }
    platform::SetCursor(this, platform::CursorKind::Arrow);
}

bool CInstrumentCtrl::exactlyButton(const QMouseEvent* event, Qt::MouseButton button)
{
    return event->buttons() == Qt::MouseButtons(button)
        && !(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier));
}
