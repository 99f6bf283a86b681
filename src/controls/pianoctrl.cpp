// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/pianoctrl.h"

#include "controls/accessibleinstrument.h"
#include "controls/noterangeselector.h"
#include "platform/ui/bitmap.h"
#include "platform/ui/window.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStringList>

namespace {

enum LayoutIndex {
    FirstNote = 0,
    WhiteKeys = 1,
    Keys = 2,
    BlackZoneWidth = 3,
    BlackMarkX = 4,
    BlackZoneX = 9,
    BlackImageSet = 14,
    WhiteIndexOfC = 19,
    KeyIndexOfC = 20,
    KeysLeft = 21,
    KeysTop = 22,
    KeysRight = 23,
    KeysBottom = 24,
    BlackBottom = 25,
    KeyboardPicture = 28,
    MarkPictures = 29,
};

constexpr int MarkImageCount = 9;
// Shape marks: the three meanings on a white key, then on a black key.
constexpr int ShapeImageCount = 6;

// Octave step of a white key (0 C .. 6 B) and its black neighbour to the right
// (0..4 for C#, D#, F#, G#, A#; -1 after E and B).
constexpr int BlackAfterStep[7] = {0, 1, -1, 2, 3, 4, -1};

int octaveStep(const int* layout, int whiteIndex)
{
    return ((whiteIndex - layout[WhiteIndexOfC] % 7) % 7 + 7) % 7;
}

} // namespace

struct CPianoCtrl::Impl {
    const int* layout = nullptr;
    double keyWidth = 0.0;
    QSize pictureSize;
    QSize whiteMarkSize;
    QSize blackMarkSize;
    std::array<QImage, MarkImageCount> images;
    std::array<QImage, ShapeImageCount> shapeImages;
    qreal picturesRatio = 0.0;
    NoteRangeSelector selector;
    int lastHit = -1;
    bool captured = false;
};

int CPianoCtrl::KeyboardPictureOf(const int* layout)
{
    return layout[KeyboardPicture];
}

const PianoLayoutTable& CPianoCtrl::DefaultLayout()
{
    static const PianoLayoutTable layout{
        21, 52, 88, 9,
        4, 7, 4, 5, 7,
        6, 9, 6, 7, 9,
        3, 0, 0, 3, 3,
        30, 51,
        26, 39, 650, 110,
        84,
        0, 0,
        129,
        132, 130, 134, 133, 131, 135, 151, 150, 149,
    };
    return layout;
}

CPianoCtrl::CPianoCtrl(int controlId, const char* className, QWidget* parent)
    : CInstrumentCtrl(controlId, className, parent), d(new Impl)
{
    setAccessibleName(tr("Клавиатура пианино"));
    setAccessibleDescription(
        tr("88 клавиш. Стрелки влево и вправо — соседняя клавиша, вверх и вниз — на октаву, "
           "Home и End — крайние клавиши. Во время упражнения пробел или Enter играет клавишу. "
           "Вне упражнения клавиатура показывает диапазоны нот: Page Up и Page Down переходят "
           "к их границам, Shift со стрелкой двигает границу, на которой стоит фокус."));
}

CPianoCtrl::~CPianoCtrl()
{
    delete d;
}

bool CPianoCtrl::initialize(const int* layout)
{
    d->layout = layout;
    d->keyWidth = double(layout[KeysRight] - layout[KeysLeft] + 1) / layout[WhiteKeys];
    loadPictures();
    prepareSurface(d->pictureSize, QStringLiteral("CPianoCtrl::initialize():\n!dc.CreateCompatibleDC(NULL)"));

    BuildKeyTable();
    ControlsReady = true;

    d->selector.setup(layout, d->keyWidth);
    SetRangeCount(1);
    Resize(ControlId(), d->pictureSize.height(), d->pictureSize.width());
    if (focusNote() < 0)
        storeFocusNote(60); // middle C, where a player starts
    return ControlsReady;
}

void CPianoCtrl::loadPictures()
{
    const qreal ratio = pixelRatio();
    d->picturesRatio = ratio;
    d->pictureSize = platform::LoadBitmap(d->layout[KeyboardPicture], ratio).deviceIndependentSize().toSize();
    for (int i = 0; i < MarkImageCount; ++i)
        d->images[i] = platform::LoadBitmap(d->layout[MarkPictures + i], ratio);
    for (int m = 0; m < 3; ++m) {
        d->shapeImages[m] = platform::LoadBitmap(ShapeMarkWhitePictures + m, ratio);
        d->shapeImages[3 + m] = platform::LoadBitmap(ShapeMarkBlackPictures + m, ratio);
    }
    d->whiteMarkSize = d->images[0].deviceIndependentSize().toSize();
    d->blackMarkSize = d->images[3].deviceIndependentSize().toSize();
}

void CPianoCtrl::BuildKeyTable()
{
    const int* L = d->layout;
    const int whiteMarkHeight = d->whiteMarkSize.height();
    const int blackMarkHeight = d->blackMarkSize.height();
    int k = 0;
    for (int w = 0; w < WhiteKeyCount && k < KeyCount; ++w) {
        KeyInfo& white = KeyTable[k];
        white.isWhite = 1;
        white.whiteIndex = w;
        white.x = int(w * d->keyWidth + L[KeysLeft]);
        white.y = L[KeysBottom] - whiteMarkHeight;
        StoreMark(k, None);
        white.imageSet = 0;
        WhiteKeyTable[w] = k;
        ++k;

        const int black = BlackAfterStep[octaveStep(L, w)];
        if (black < 0 || k >= KeyCount)
            continue;
        KeyInfo& info = KeyTable[k];
        info.isWhite = 0;
        info.whiteIndex = w;
        info.x = white.x + L[BlackMarkX + black];
        info.y = L[BlackBottom] - blackMarkHeight;
        StoreMark(k, None);
        info.imageSet = 3 + L[BlackImageSet + black];
        ++k;
    }
}

void CPianoCtrl::SetKeyboardMode(bool on)
{
    m_keyboardMode = on;
    if (!on) {
        for (int k = 0; k < KeyCount; ++k)
            StoreMark(k, None);
    }
    fitFocusToMode();
    RedrawKeys(false);
}

void CPianoCtrl::SetNoteState(int note, int mark)
{
    if (!ControlsReady)
        return;
    if (!m_keyboardMode && mark == 0)
        return;
    int key = 0;
    if (GetKeyIndex(note, key) && mark >= None && mark <= Blue)
        StoreMark(key, mark);
    RedrawKeys(false);
}

int CPianoCtrl::GetPitchClass(int keyIndex) const
{
    const int c = d->layout ? d->layout[KeyIndexOfC] % 12 : 3;
    return ((keyIndex - c) % 12 + 12) % 12;
}

int CPianoCtrl::HitTest(const QPoint& point) const
{
    const int* L = d->layout;
    if (!L)
        return -1;
    const int x = point.x();
    const int y = point.y();
    if (y < L[KeysTop])
        return -2;
    if (y > L[KeysBottom] || x < L[KeysLeft] || x > L[KeysRight])
        return -1;

    const double kw = d->keyWidth;
    const int w = std::min(int((x - L[KeysLeft]) / kw), WhiteKeyCount - 1);
    const int k = WhiteKeyTable[w];
    int key = k;
    if (y < L[BlackBottom] && m_keyboardMode) {
        const int dx = int(x - (w * kw + L[KeysLeft]));
        const double bw = L[BlackZoneWidth];
        // Where the black key on the left ends inside this white key.
        auto leftEnd = [&](int black) { return L[BlackZoneX + black] + bw - kw; };
        auto rightStart = [&](int black) { return L[BlackZoneX + black]; };
        switch (octaveStep(L, w)) {
        case 0: // C
            if (dx >= rightStart(0)) key = k + 1;
            break;
        case 1: // D
            if (dx <= leftEnd(0)) key = k - 1;
            else if (dx >= rightStart(1)) key = k + 1;
            break;
        case 2: // E
            if (dx <= leftEnd(1)) key = k - 1;
            break;
        case 3: // F
            if (dx >= rightStart(2)) key = k + 1;
            break;
        case 4: // G
            if (dx <= leftEnd(2)) key = k - 1;
            else if (dx >= rightStart(3)) key = k + 1;
            break;
        case 5: // A
            if (dx <= leftEnd(3)) key = k - 1;
            else if (dx >= rightStart(4)) key = k + 1;
            break;
        case 6: // B
            if (dx <= leftEnd(4)) key = k - 1;
            break;
        }
        // No black key below A0 or above C8: the zone belongs to the white key.
        if (key < 0 || key >= KeyCount || KeyTable[key].isWhite)
            key = k;
    }
    return NoteFromKeyIndex(key);
}

bool CPianoCtrl::beginPicture(QPainter& painter)
{
    if (!d->layout || surface().isNull())
        return false;
    // Moved to a screen of another pixel ratio: compose at that ratio.
    if (pixelRatio() != d->picturesRatio) {
        loadPictures();
        if (!prepareSurface(d->pictureSize, QStringLiteral("CPianoCtrl::initialize():\n!dc.CreateCompatibleDC(NULL)")))
            return false;
    }
    painter.begin(&surface());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(0, 0), platform::LoadBitmap(d->layout[KeyboardPicture], d->picturesRatio));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    return true;
}

void CPianoCtrl::endPicture(QPainter& painter, bool frame)
{
    if (frame)
        drawFrame(painter, d->pictureSize);
    painter.end();
    presentSurface();
}

void CPianoCtrl::RedrawKeys(bool frame)
{
    if (!ControlsReady)
        return;
    NotifyRedrawRequest();
    if (!m_keyboardMode)
        return;
    QPainter painter;
    if (!beginPicture(painter))
        return;
    for (int k = 0; k < KeyCount; ++k) {
        const KeyInfo& key = KeyTable[k];
        if (key.mark <= None || key.mark > Blue)
            continue;
        const QSize size = key.isWhite ? d->whiteMarkSize : d->blackMarkSize;
        if (ShapeMarks) {
            const int meaning = int(MeaningOf(k));
            if (meaning >= 0)
                painter.drawImage(QRect(QPoint(key.x, key.y), size), d->shapeImages[(key.isWhite ? 0 : 3) + meaning]);
            continue;
        }
        const int image = key.imageSet + key.mark - 2;
        if (image < 0 || image >= MarkImageCount)
            continue;
        painter.drawImage(QRect(QPoint(key.x, key.y), size), d->images[image]);
    }
    endPicture(painter, frame);
    // A mark may have come to or left the key under focus.
    valueMayHaveChanged();
}

void CPianoCtrl::redrawMarks()
{
    if (m_keyboardMode)
        RedrawKeys(false);
}

void CPianoCtrl::SetRangeCount(int n)
{
    n = n == 2 ? 2 : 1;
    SetKeyboardMode(false);
    if (n != d->selector.rangeCount)
        d->selector.reset(n);
    RedrawRanges(false);
    NotifyRangeChanged(GetRanges());
}

int CPianoCtrl::GetRangeCount() const
{
    return d->selector.rangeCount;
}

void CPianoCtrl::SetRange(int i, int low, int high)
{
    d->selector.setRange(i, low, high);
    RedrawRanges(false);
}

void CPianoCtrl::SetBounds(int low, int high)
{
    d->selector.setBounds(low, high);
    RedrawRanges(false);
}

int CPianoCtrl::GetBoundsLow() const
{
    return d->selector.boundsLow;
}

int CPianoCtrl::GetBoundsHigh() const
{
    return d->selector.boundsHigh;
}

int CPianoCtrl::GetRangeLow(int i) const
{
    return d->selector.ranges[i == 1 ? 1 : 0].low;
}

int CPianoCtrl::GetRangeHigh(int i) const
{
    return d->selector.ranges[i == 1 ? 1 : 0].high;
}

const NoteRange* CPianoCtrl::GetRanges() const
{
    return d->selector.ranges.data();
}

void CPianoCtrl::RedrawRanges(bool frame)
{
    if (!ControlsReady)
        return;
    if (!d->selector.normalised)
        d->selector.normalise();
    // The brackets belong to range mode; during an exercise the keys keep their marks.
    if (m_keyboardMode)
        return;
    QPainter painter;
    if (!beginPicture(painter))
        return;
    const NoteRangeSelector::Anchors anchors = d->selector.draw(painter);
    m_lowAnchor = anchors.low + GetPosition();
    m_highAnchor = anchors.high + GetPosition();
    endPicture(painter, frame);
    valueMayHaveChanged();
}

void CPianoCtrl::repaintPicture(bool frame)
{
    if (m_keyboardMode)
        RedrawKeys(frame);
    else
        RedrawRanges(frame);
}

void CPianoCtrl::captureOnce()
{
    if (!d->captured) {
        platform::SetCapture(this);
        d->captured = true;
    }
}

void CPianoCtrl::releaseCaptured()
{
    if (d->captured) {
        platform::ReleaseCapture(this);
        d->captured = false;
    }
}

void CPianoCtrl::startWindowDrag(const QPoint& press)
{
    captureOnce();
    beginDrag(press);
    NotifyRedrawRequest();
    repaintPicture(true);
}

void CPianoCtrl::mousePressEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    event->accept();
    if (event->button() == Qt::RightButton) {
        startWindowDrag(point);
        return;
    }
    if (event->button() != Qt::LeftButton || !ControlsReady)
        return;
    captureOnce();
    NotifyRedrawRequest();
    d->lastHit = HitTest(point);
    // The keyboard goes on from the key the mouse pressed.
    if (d->lastHit >= 0)
        storeFocusNote(d->lastHit);
    if (d->lastHit == -2) {
        startWindowDrag(point);
    } else if (d->lastHit >= 0) {
        if (m_keyboardMode) {
            NotifyNoteOn(d->lastHit);
        } else if (d->selector.press(KeyIndexFromNote(d->lastHit), point.y() > d->layout[BlackBottom])) {
            platform::SetCursor(this, platform::CursorKind::SizeWE);
            RedrawRanges(false);
        }
    }
}

void CPianoCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::RightButton) {
        releaseCaptured();
        endDrag();
        repaintPicture(false);
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    releaseCaptured();
    endDrag();
    if (m_keyboardMode) {
        if (d->lastHit >= 0) {
            NotifyNoteOff(d->lastHit);
            d->lastHit = -1;
        }
        RedrawKeys(false);
    } else {
        d->selector.release();
        RedrawRanges(false);
    }
}

void CPianoCtrl::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if (exactlyButton(event, Qt::RightButton)) {
        event->accept();
        dragStep(point, d->pictureSize.height(), d->pictureSize.width());
    } else if (exactlyButton(event, Qt::LeftButton)) {
        event->accept();
        NotifyRedrawRequest();
        if (d->lastHit == -2) {
            dragStep(point, d->pictureSize.height(), d->pictureSize.width());
        } else if (!m_keyboardMode && ControlsReady) {
            const int key = KeyIndexFromNote(HitTest(point));
            if (key >= 0 && d->selector.dragTo(key)) {
                platform::SetCursor(this, platform::CursorKind::SizeWE);
                RedrawRanges(false);
                NotifyRangeChanged(GetRanges());
            }
        }
    } else {
        CInstrumentCtrl::mouseMoveEvent(event);
    }
}

void CPianoCtrl::showEvent(QShowEvent* event)
{
    CInstrumentCtrl::showEvent(event);
    if (d->layout && !d->pictureSize.isEmpty())
        Resize(ControlId(), d->pictureSize.height(), d->pictureSize.width());
}

void CPianoCtrl::fitFocusToMode()
{
    int key = 0;
    if (!m_keyboardMode && GetKeyIndex(focusNote(), key) && !KeyTable[key].isWhite && key > 0)
        storeFocusNote(NoteFromKeyIndex(key - 1));
}

bool CPianoCtrl::setFocusNote(int note)
{
    int key = 0;
    if (!ControlsReady || !GetKeyIndex(note, key) || (!m_keyboardMode && !KeyTable[key].isWhite))
        return false;
    storeFocusNote(note);
    return true;
}

void CPianoCtrl::moveFocus(const QKeyEvent& event)
{
    int key = 0;
    if (!GetKeyIndex(focusNote(), key))
        key = KeyIndexFromNote(60);
    const bool whiteOnly = !m_keyboardMode;
    // The next key in a direction that the mode lets the focus stand on.
    auto step = [&](int from, int direction) {
        for (int k = from + direction; k >= 0 && k < KeyCount; k += direction)
            if (!whiteOnly || KeyTable[k].isWhite)
                return k;
        return from;
    };
    int target = key;
    switch (event.key()) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const int direction = event.key() == Qt::Key_Left ? -1 : 1;
        if (whiteOnly && (event.modifiers() & Qt::ShiftModifier)) {
            moveRangeEnd(direction);
            return;
        }
        target = step(key, direction);
        break;
    }
    case Qt::Key_Up:
        target = key + 12 < KeyCount ? key + 12 : key;
        break;
    case Qt::Key_Down:
        target = key - 12 >= 0 ? key - 12 : key;
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = KeyCount - 1;
        break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        if (!whiteOnly)
            return;
        // The nearest range end beyond the key under focus.
        const bool up = event.key() == Qt::Key_PageUp; // as on a slider: Page Up goes higher
        for (int i = 0; i < d->selector.rangeCount; ++i) {
            for (int end : {d->selector.ranges[i].low, d->selector.ranges[i].high}) {
                if (up ? end > key && (target == key || end < target) : end < key && (target == key || end > target))
                    target = end;
            }
        }
        break;
    }
    default:
        return;
    }
    storeFocusNote(NoteFromKeyIndex(target));
}

void CPianoCtrl::moveRangeEnd(int direction)
{
    int key = 0;
    if (!GetKeyIndex(focusNote(), key))
        return;
    NoteRangeSelector& sel = d->selector;
    for (int i = 0; i < sel.rangeCount; ++i) {
        const NoteRange& r = sel.ranges[i];
        const int end = key == r.low ? -1 : key == r.high ? 1 : 0;
        if (end == 0)
            continue;
        int target = key + direction;
        while (target >= 0 && target < KeyCount && !KeyTable[target].isWhite)
            target += direction;
        if (target < 0 || target >= KeyCount)
            return;
        // The same steps as a drag with the mouse, so the same limits hold.
        sel.activeRange = i;
        sel.activeEnd = end;
        sel.dragTo(target);
        const int moved = end < 0 ? sel.ranges[i].low : sel.ranges[i].high;
        sel.release();
        if (moved == key)
            return;
        storeFocusNote(NoteFromKeyIndex(moved));
        RedrawRanges(false);
        NotifyRangeChanged(GetRanges());
        return;
    }
}

void CPianoCtrl::playPressed(int note)
{
    NotifyRedrawRequest();
    NotifyNoteOn(note);
}

void CPianoCtrl::playReleased(int note)
{
    NotifyNoteOff(note);
    RedrawKeys(false);
}

void CPianoCtrl::paintFocus(QPainter& painter)
{
    int key = 0;
    if (!d->layout || !GetKeyIndex(focusNote(), key))
        return;
    const int* L = d->layout;
    const KeyInfo& info = KeyTable[key];
    QRect rect;
    if (info.isWhite) {
        const int left = int(info.whiteIndex * d->keyWidth + L[KeysLeft]);
        const int right = int((info.whiteIndex + 1) * d->keyWidth + L[KeysLeft]);
        rect = QRect(QPoint(left, L[KeysTop]), QPoint(right, L[KeysBottom]));
    } else {
        rect = QRect(QPoint(info.x, L[KeysTop]), QPoint(info.x + d->blackMarkSize.width(), L[BlackBottom]));
    }
    drawFocusOutline(painter, rect);
    // A pointer on the strip above the keys, where no mark or bracket is ever drawn.
    const int cx = rect.center().x();
    const int bottom = L[KeysTop] - 2;
    const QPoint tip[3] = {{cx - 6, bottom - 8}, {cx + 6, bottom - 8}, {cx, bottom}};
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    painter.drawPolygon(tip, 3);
    painter.restore();
}

QString CPianoCtrl::accessibleValue() const
{
    int key = 0;
    if (!GetKeyIndex(focusNote(), key))
        return {};
    const QString note = accessibility::spokenNote(focusNote());
    QStringList about;
    if (m_keyboardMode) {
        switch (MeaningOf(key)) {
        case MarkMeaning::ToPlay: about << tr("нужно сыграть"); break;
        case MarkMeaning::PlayedRight: about << tr("сыграна верно"); break;
        case MarkMeaning::PlayedWrong: about << tr("сыграна неверно"); break;
        default: break;
        }
    } else {
        const NoteRangeSelector& sel = d->selector;
        for (int i = 0; i < sel.rangeCount; ++i) {
            const bool two = sel.rangeCount == 2;
            if (key == sel.ranges[i].low)
                about << (!two ? tr("начало диапазона") : i == 0 ? tr("начало диапазона верхнего стана")
                                                                 : tr("начало диапазона нижнего стана"));
            if (key == sel.ranges[i].high)
                about << (!two ? tr("конец диапазона") : i == 0 ? tr("конец диапазона верхнего стана")
                                                                : tr("конец диапазона нижнего стана"));
        }
        if (key < sel.boundsLow || key > sel.boundsHigh)
            about << tr("вне звучания выбранных инструментов");
    }
    return about.isEmpty() ? note : QStringLiteral("%1 — %2").arg(note, about.join(QStringLiteral(", ")));
}
