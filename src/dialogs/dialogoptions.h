// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ui/dialogtemplate.h"
#include "platform/mmsystem/mididevices.h"

#include <array>
#include <string>
#include <vector>

namespace tonvero {
class Preferences;
}
namespace midi {
class MidiRouter;
}
class QAbstractButton;
class QComboBox;
class QLineEdit;
class QScrollArea;

// The modeless settings window (template 144). It has no settings of its own:
// it edits the preferences as the user goes; only the devices wait for OK.
class DialogOptions : public platform::TemplateDialog {
    Q_OBJECT
public:
    enum Item {
        IdcOk = 1,
        IdcMinutes = 1101,
        IdcMinutesArrows = 1102,
        IdcMinutesLabel = 1025,
        IdcShowNoteName = 1104,
        IdcBeep = 1105,
        IdcStatistics = 1106,
        IdcMidiIn = 1107,
        IdcInDevice = 1108,
        IdcMidiOut = 1109,
        IdcOutDevice = 1110,
        IdcInstrument = 1111,
        IdcMidiControl = 1112,
        IdcMidiControlGroup = 1026,
        IdcAssignKeys = 1007,
        IdcHint = 1022,
        IdcTraining = 1023,
        IdcExam = 1024,
        IdcBlackKeys = 1010,
        IdcWaitTime = 1027,
        IdcWaitRight = 1028,
        IdcSeconds = 1033,
        IdcSecondsArrows = 1020,
        IdcCompKeyboard = 1037,
    };

    DialogOptions(tonvero::Preferences& prefs, midi::MidiRouter& router, QWidget* parent = nullptr);

    static const platform::DialogTemplate& Template();

    bool bOutDevChanged = false;
    bool bInDevChanged = false;
    tonvero::Preferences& prefs;
    midi::MidiRouter& router;
    QComboBox* inDevices = nullptr;
    QComboBox* outDevices = nullptr;
    QComboBox* instruments = nullptr;
    QAbstractButton* statisticsBox = nullptr;
    QAbstractButton* midiControlBox = nullptr;
    int nEditMinutes = 0;
    int nEditSeconds = 0;

    // Items ↔ the preferences and the two numbers; false when a number could not be read.
    bool UpdateData(bool save);

    // Handlers, as the items raise them.
    void onModeClicked(int id);
    void onWrongNoteClicked(int id);
    void onShowNoteNameClicked();
    void onExchangeClicked();
    void onStatisticsClicked();
    void onMidiControlClicked();
    void onInstrumentChanged(int index);
    void onMinutesArrow(int delta);
    void onMinutesChanged();
    void onSecondsArrow(int delta);
    void onSecondsFocusOut();

    // OK (button 1 or Enter): devices applied, settings saved, the dialog hidden.
    void accept() override;

    // Fills the device lists again from the router's port lists (a port started
    // or ended); a device the user picked and did not confirm yet stays picked.
    void refreshDeviceLists();

    // A group of options of its own (microphone, practice, interface) in a
    // column right of the fixed items; the dialog grows to hold it up to the
    // screen's height, and the column scrolls beyond. Sections save their own
    // settings when settingsSaved() is emitted.
    void addSection(QWidget* section);
    const std::vector<QWidget*>& sections() const { return m_sections; }

signals:
    // OK saved the settings: sections save theirs.
    void settingsSaved();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool initDialog();
    void fillDeviceLists();

    // What a device list shows beyond its entries (the port key of each is its item data).
    struct DeviceList {
        QComboBox* box = nullptr;
        QAbstractButton* enable = nullptr; // the «включить» box
        // The entry shown for the settings' choice, and whether the user picked
        // one since: only a pick is stored as the user's choice at OK.
        std::string shownKey;
        bool activated = false;
    };
    DeviceList& deviceList(mmsys::PortDirection direction);
    // Lists the ports and selects the pending pick if still there, else the settings' choice; false when empty.
    bool listPorts(mmsys::PortDirection direction);
    bool userPicked(const DeviceList& list) const;
    // Enables the «включить» box (and for input the MIDI control) when there are
    // devices; with none it is disabled, still showing the setting.
    void setDevicesPresent(mmsys::PortDirection direction, bool present);
    // Takes a picked device into the preferences; true when it is another one than stored.
    bool takePick(mmsys::PortDirection direction);
    std::array<DeviceList, 2> m_deviceLists;
    void storeMinutes();
    void storeSeconds();
    void fitTexts();
    enum Misfit { TooNarrow = 1, TooLow = 2 };
    // Places the items with these units; which way a text does not fit.
    int placeItems(const platform::DialogUnits& u);

    // Places the column of sections and sizes the dialog around it.
    void placeSections();

    // Names and descriptions for screen readers, arrow keys in the number
    // fields, and a Tab order that reads the dialog column by column.
    void setUpAccess();
    void orderTabs();

    platform::DataExchange m_ddx;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_column = nullptr;
    int m_columnWidth = 0;
    std::vector<QWidget*> m_sections;
    QSize m_fixedSize;
    platform::DialogUnits m_fittedUnits;
    std::vector<std::pair<const platform::DialogItem*, QWidget*>> m_placed;
    bool m_initialising = true;
    bool m_inSecondsHandler = false;
};
