// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/guitarctrl.h"

#include "controls/accessibleinstrument.h"
#include "platform/ui/bitmap.h"
#include "platform/ui/window.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace {

// Indexes into the fretboard layout table.
constexpr int StringCount = 0;
constexpr int PositionCount = 1;
constexpr int OpenString = 2; // 6 entries, top string of the picture first
constexpr int LowestKey = 8;
constexpr int HighestKey = 9;
constexpr int HitLeft = 10;
constexpr int HitTop = 11;
constexpr int HitRight = 12;
constexpr int HitBottom = 13;
constexpr int Picture = 14;
constexpr int StringSpacing = 18;
constexpr int TopStringY = 19;
constexpr int Nut = 20; // then the 24 fret lines
constexpr int LayoutSize = 45;

constexpr int MaxStrings = 6;
constexpr int MaxPositions = LayoutSize - Nut; // the open string and 24 frets

#define FRET_LINES 60, 105, 145, 181, 214, 246, 276, 304, 330, 356, 381, 404, \
                   426, 447, 468, 488, 508, 528, 547, 564, 580, 595, 608, 620

// Strings and positions the table can hold, whatever the owner wrote into it.
int stringCount(const int* layout)
{
    return std::clamp(layout[StringCount], 0, MaxStrings);
}

int positionCount(const int* layout)
{
    return std::clamp(layout[PositionCount], 0, MaxPositions);
}

QColor markColour(int mark)
{
    switch (mark) {
    case Red: return QColor(200, 0, 0);
    case Green: return QColor(0, 200, 0);
    case Blue: return QColor(0, 0, 200);
    default: return QColor();
    }
}

} // namespace

CGuitarCtrl::CGuitarCtrl(int controlId, const char* className, QWidget* parent)
    : CInstrumentCtrl(controlId, className, parent)
{
    setAccessibleName(controlId == BassId ? tr("Гриф бас-гитары") : tr("Гриф шестиструнной гитары"));
    setAccessibleDescription(tr("Стрелки влево и вправо — соседний лад, вверх и вниз — соседняя струна, "
                                "Home — открытая струна, End — последний лад. Во время упражнения "
                                "пробел или Enter играет ноту на этой струне и ладу."));
}

CGuitarCtrl::~CGuitarCtrl() = default;

int CGuitarCtrl::BoardPicture(const int* layout)
{
    return layout[Picture];
}

const FretboardLayoutTable& CGuitarCtrl::GuitarLayout()
{
    static const FretboardLayoutTable layout{
        6, 25,                       // strings, positions per string
        55, 50, 46, 41, 36, 31,      // open strings: E5 B4 G4 D4 A3 E3
        31, 79,                      // lowest and highest playable key
        0, 0, 624, 85,               // hit area
        136,                         // picture
        130, 134, 132,               // not read by the control
        14, 7, 10,                   // string spacing, top string y, nut x
        FRET_LINES,
    };
    return layout;
}

const FretboardLayoutTable& CGuitarCtrl::BassLayout()
{
    static const FretboardLayoutTable layout{
        4, 25,                       // strings, positions per string
        34, 29, 24, 19, 0, 0,        // open strings: G3 D3 A2 E2
        19, 58,                      // lowest and highest playable key
        0, 0, 624, 58,               // hit area
        148,                         // picture
        130, 134, 132,               // not read by the control
        14, 7, 10,                   // string spacing, top string y, nut x
        FRET_LINES,
    };
    return layout;
}

#undef FRET_LINES

bool CGuitarCtrl::initialize(int* layout)
{
    m_layout = layout;
    m_pictureSize = platform::BitmapSize(m_layout[Picture]);
    // A missing picture is not reported: the control just shows nothing.
    if (!m_pictureSize.isEmpty())
        prepareSurface(m_pictureSize, QStringLiteral("CGuitarCtrl::initialize():\n!dc.CreateCompatibleDC(NULL)"));
    SetNoteState(82, None);
    Resize(ControlId(), m_pictureSize.height(), m_pictureSize.width());
    setFocusPosition(std::min(m_focusString, stringCount(m_layout) - 1), std::min(m_focusFret, positionCount(m_layout) - 1));
    return true;
}

void CGuitarCtrl::SetNoteState(int note, int mark)
{
    if (mark == 0)
        return;
    m_currentNote = note;
    int k;
    if (GetKeyIndex(note, k) && mark >= None && mark <= Blue)
        StoreMark(k, mark);
    Redraw(false);
}

int CGuitarCtrl::HitTest(const QPoint& point) const
{
    int s = 0;
    int f = 0;
    return hitPosition(point, s, f) ? m_layout[OpenString + s] + f + 21 : -1;
}

bool CGuitarCtrl::hitPosition(const QPoint& point, int& string, int& fret) const
{
    if (!m_layout || m_pictureSize.height() <= 0)
        return false;
    const int* L = m_layout;
    if (point.y() < L[HitTop] || point.y() > L[HitBottom] || point.x() < L[HitLeft] || point.x() > L[HitRight])
        return false;
    const int strings = stringCount(L);
    const int s = strings * point.y() / m_pictureSize.height();
    if (s < 0 || s >= strings)
        return false;
    const int positions = positionCount(L);
    int f = 0;
    while (f < positions && L[Nut + f] < point.x())
        ++f;
    string = s;
    fret = f;
    return true;
}

void CGuitarCtrl::Redraw(bool frame)
{
    if (!m_layout)
        return;
    QImage& img = surface();
    if (!img.isNull() && img.devicePixelRatio() != pixelRatio())
        prepareSurface(m_pictureSize, QString());
    if (img.isNull())
        return;

    const int* L = m_layout;
    QPainter p(&img);
    p.fillRect(QRect(QPoint(0, 0), m_pictureSize), Qt::white);
    const QImage board = platform::LoadBitmap(L[Picture], img.devicePixelRatio());
    if (!board.isNull())
        p.drawImage(QPoint(0, 0), board);

    int k;
    const int mark = GetKeyIndex(m_currentNote, k) ? KeyTable[k].mark : None;
    const QColor colour = markColour(mark);
    if (colour.isValid()) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(colour, 4));
        p.setBrush(Qt::white);
        // The shape mark's picture, centred on the string's row at x.
        QImage shape;
        if (ShapeMarks)
            shape = platform::LoadBitmap(ShapeMarkFretPictures + int(MeaningOf(k)), img.devicePixelRatio());
        const QSize shapeSize = shape.isNull() ? QSize() : shape.deviceIndependentSize().toSize();
        const int positions = positionCount(L);
        for (int s = 0; s < stringCount(L); ++s) {
            const int open = L[OpenString + s];
            if (open > k)
                continue;
            int x;
            if (open == k) {
                x = int(L[Nut] * 0.5);
            } else {
                const int f = k - open;
                if (f >= positions)
                    continue;
                x = int((L[Nut + f] + L[Nut + f - 1]) * 0.5 + 1.0);
            }
            const int y = L[StringSpacing] * s + L[TopStringY];
            if (ShapeMarks)
                p.drawImage(QPoint(x - shapeSize.width() / 2, y - shapeSize.height() / 2), shape);
            else
                p.drawEllipse(QRectF(x - 4, y - 4, 8, 8));
        }
        p.setRenderHint(QPainter::Antialiasing, false);
    }

    if (frame) {
        const int w = m_pictureSize.width(), h = m_pictureSize.height();
        p.fillRect(QRect(0, 0, w, 1), Qt::black);
        p.fillRect(QRect(0, h - 1, w, 1), Qt::black);
        p.fillRect(QRect(0, 0, 1, h), Qt::black);
        p.fillRect(QRect(w - 1, 0, 1, h), Qt::black);
    }
    p.end();
    presentSurface();
    // The note under focus may have got or lost its mark.
    valueMayHaveChanged();
}

void CGuitarCtrl::redrawMarks()
{
    Redraw(false);
}

// Mouse events stay with the control: passing them on would hand them to the owner window.
void CGuitarCtrl::mousePressEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        platform::SetCapture(this);
        if (ControlsReady) {
            m_currentNote = HitTest(point);
            // The keyboard goes on from the string and fret the mouse pressed.
            int string = 0;
            int fret = 0;
            if (hitPosition(point, string, fret))
                setFocusPosition(string, fret);
            if (PlayMode) {
                if (m_currentNote >= 0) {
                    m_pressedNote = m_currentNote;
                    m_press = Press::Play;
                    NotifyNoteOn(m_pressedNote);
                }
            } else {
                beginDrag(point);
                Redraw(true);
                m_press = Press::Drag;
            }
        }
    } else if (event->button() == Qt::RightButton) {
        beginDrag(point);
        Redraw(true);
    }
}

void CGuitarCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        if (!ControlsReady)
            return;
        platform::ReleaseCapture(this);
        NotifyRedrawRequest();
        // The release finishes what the press started, even if the mode changed in between.
        const Press press = m_press;
        m_press = Press::Nothing;
        if (press == Press::Play) {
            // The owner may have shown another note meanwhile (a hint): report the pressed one.
            NotifyNoteOff(m_pressedNote);
        } else if (press == Press::Drag) {
            endDrag();
            Redraw(false);
        }
    } else if (event->button() == Qt::RightButton) {
        endDrag();
        Redraw(false);
    }
}

void CGuitarCtrl::mouseMoveEvent(QMouseEvent* event)
{
    const bool right = exactlyButton(event, Qt::RightButton);
    const bool left = exactlyButton(event, Qt::LeftButton) && !PlayMode;
    if (dragging() && (right || left)) {
        NotifyRedrawRequest();
        dragStep(event->position().toPoint(), m_pictureSize.height(), m_pictureSize.width());
    }
}

void CGuitarCtrl::setFocusPosition(int string, int fret)
{
    if (!m_layout || string < 0 || fret < 0)
        return;
    m_focusString = string;
    m_focusFret = fret;
    storeFocusNote(m_layout[OpenString + string] + fret + 21);
}

bool CGuitarCtrl::setFocusNote(int note)
{
    if (!m_layout)
        return false;
    const int key = KeyIndexFromNote(note);
    const int positions = positionCount(m_layout);
    auto onString = [&](int s) { return key >= m_layout[OpenString + s] && key - m_layout[OpenString + s] < positions; };
    int string = onString(m_focusString) ? m_focusString : -1;
    for (int s = 0; string < 0 && s < stringCount(m_layout); ++s)
        if (onString(s))
            string = s;
    if (string < 0)
        return false;
    setFocusPosition(string, key - m_layout[OpenString + string]);
    return true;
}

int CGuitarCtrl::focusLow() const
{
    if (!m_layout || stringCount(m_layout) == 0)
        return -1;
    return *std::min_element(m_layout + OpenString, m_layout + OpenString + stringCount(m_layout)) + 21;
}

int CGuitarCtrl::focusHigh() const
{
    if (!m_layout || stringCount(m_layout) == 0)
        return -1;
    const int highest = *std::max_element(m_layout + OpenString, m_layout + OpenString + stringCount(m_layout));
    return highest + positionCount(m_layout) - 1 + 21;
}

void CGuitarCtrl::moveFocus(const QKeyEvent& event)
{
    int string = m_focusString;
    int fret = m_focusFret;
    const int lastFret = positionCount(m_layout) - 1;
    switch (event.key()) {
    case Qt::Key_Left: fret = std::max(0, fret - 1); break;
    case Qt::Key_Right: fret = std::min(lastFret, fret + 1); break;
    case Qt::Key_Up: string = std::max(0, string - 1); break;
    case Qt::Key_Down: string = std::min(stringCount(m_layout) - 1, string + 1); break;
    case Qt::Key_Home: fret = 0; break;
    case Qt::Key_End: fret = lastFret; break;
    default: return;
    }
    setFocusPosition(string, fret);
}

void CGuitarCtrl::playPressed(int note)
{
    // As a press of the mouse: the circles follow the note played.
    m_currentNote = note;
    NotifyNoteOn(note);
}

void CGuitarCtrl::playReleased(int note)
{
    NotifyRedrawRequest();
    NotifyNoteOff(note);
}

void CGuitarCtrl::paintFocus(QPainter& painter)
{
    if (!m_layout || m_pictureSize.isEmpty())
        return;
    const int* L = m_layout;
    const int strings = stringCount(L);
    if (m_focusString >= strings || m_focusFret >= positionCount(L))
        return;
    // The band of the string and the space between the fret lines around the fret.
    const int top = m_pictureSize.height() * m_focusString / strings;
    const int bottom = m_pictureSize.height() * (m_focusString + 1) / strings - 1;
    const int left = m_focusFret == 0 ? 0 : L[Nut + m_focusFret - 1] + 1;
    const int right = L[Nut + m_focusFret];
    drawFocusOutline(painter, QRect(QPoint(left, top), QPoint(right, bottom)));
}

QString CGuitarCtrl::accessibleValue() const
{
    if (!m_layout)
        return {};
    const QString note = accessibility::spokenNote(focusNote());
    const int string = m_focusString + 1;
    QString text = m_focusFret == 0 ? tr("%1-я струна, открытая: %2").arg(string).arg(note)
                                    : tr("%1-я струна, %2-й лад: %3").arg(string).arg(m_focusFret).arg(note);
    int key = 0;
    // The circles show the current note wherever it can be played.
    if (focusNote() == m_currentNote && GetKeyIndex(m_currentNote, key)) {
        switch (MeaningOf(key)) {
        case MarkMeaning::ToPlay: text += tr(" — нужно сыграть"); break;
        case MarkMeaning::PlayedRight: text += tr(" — сыграна верно"); break;
        case MarkMeaning::PlayedWrong: text += tr(" — сыграна неверно"); break;
        default: break;
        }
    }
    return text;
}
