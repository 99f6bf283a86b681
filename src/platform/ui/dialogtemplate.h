// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QFont>
#include <QHash>
#include <QRect>
#include <QString>
#include <functional>
#include <vector>

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QToolButton;

namespace platform {

enum class ItemKind {
    PushButton,
    DefPushButton,
    CheckBox,
    RadioButton,
    GroupBox,
    Static,
    StaticIcon, // text holds the icon's picture id
    Edit,
    DropDownList,
    UpDown,
    Custom, // a window of a registered class, bound to an object made before the dialog
};

enum ItemStyle : unsigned {
    StyleNone = 0,
    ReadOnly = 1u << 0,
    RightAlign = 1u << 1,
    Hidden = 1u << 2,
    Disabled = 1u << 3,
    MultiLine = 1u << 4,
};

// One item: rectangle in dialog units (x, y, width, height).
struct DialogItem {
    int id;
    ItemKind kind;
    QString text;
    QRect rect;
    unsigned style = StyleNone;
    QString className = {};
};

struct DialogTemplate {
    int id;
    QString title;
    QSize size; // dialog units
    QString fontFamily;
    int pointSize;
    std::vector<DialogItem> items;
    // Translation context of the title and the item texts (marked with
    // QT_TRANSLATE_NOOP in the table); none: shown as written.
    const char* context = nullptr;

    // The text as shown, in the interface's language.
    QString shown(const QString& text) const;
};

// Registry of custom window class names, as the controls register them.
bool RegisterWindowClass(const QString& name);
bool IsWindowClassRegistered(const QString& name);

// The font a template names, mapped to the desktop's sans-serif face.
QFont DialogFont(const DialogTemplate& tmpl);

// Dialog units of a font: x·baseX/4 and y·baseY/8, with the base units taken
// from the font's average character width and height as Windows does.
struct DialogUnits {
    int baseX = 6;
    int baseY = 13;
    static DialogUnits fromFont(const QFont& font);
    int x(int du) const { return (du * baseX + (du >= 0 ? 2 : -2)) / 4; }
    int y(int du) const { return (du * baseY + (du >= 0 ? 4 : -4)) / 8; }
    QRect rect(const QRect& du) const;
    QSize size(const QSize& du) const { return {x(du.width()), y(du.height())}; }
};

// Two small arrow buttons; delta is −1 for up and +1 for down, as an up-down control reports.
class UpDownArrows : public QWidget {
    Q_OBJECT
public:
    explicit UpDownArrows(QWidget* parent = nullptr);
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }
signals:
    void deltaPos(int delta);

protected:
    void resizeEvent(QResizeEvent*) override;

private:
    QToolButton* m_up;
    QToolButton* m_down;
};

// A dialog whose items come from a template. Items live in client(), the area
// below the optional menu bar, at the template's positions converted to pixels.
class TemplateDialog : public QDialog {
    Q_OBJECT
public:
    explicit TemplateDialog(QWidget* parent = nullptr);

    // Creates the items. Custom items take the widget bound to their id in
    // customs; false when one is missing or its class is not registered.
    bool createFromTemplate(const DialogTemplate& tmpl, const QHash<int, QWidget*>& customs = {},
                            QMenuBar* menuBar = nullptr);

    QWidget* client() const { return m_client; }
    QWidget* item(int id) const { return m_items.value(id); }
    template <class T> T* itemAs(int id) const { return qobject_cast<T*>(item(id)); }
    const DialogUnits& units() const { return m_units; }

private:
    QWidget* m_client = nullptr;
    QHash<int, QWidget*> m_items;
    DialogUnits m_units;
};

// The data exchange between items and members, run in the save direction
// (items → members) or the load direction (members → items).
class DataExchange {
public:
    explicit DataExchange(QWidget* messageParent) : m_parent(messageParent) {}

    void check(QAbstractButton* box, int* member);
    void text(QWidget* lineEditOrLabel, QString* member);
    void integer(QLineEdit* edit, int* member);
    void comboIndex(QComboBox* combo, int* member);

    // False when a field could not be read (the user was told); the exchange stops there.
    bool run(bool save);

    // True while the load direction writes fields: handlers ignore notifications then.
    bool loading() const { return m_loading; }

private:
    QWidget* m_parent;
    std::vector<std::function<bool(bool)>> m_bindings;
    bool m_loading = false;
};

} // namespace platform
