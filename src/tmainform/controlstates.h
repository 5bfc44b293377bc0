#pragma once
// Which controls of the main window are enabled and shown, computed from the facts alone so
// the rules read in one place and test without a window.
#include <QColor>

namespace tarvik {

struct MainFormFacts {
    bool portOpen = false;
    bool onBus = false;
    bool canMode = true;        // CAN chosen (else LIN)
    bool hasLines = false;      // the scrolling monitor holds text
    bool paused = false;        // the scrolling monitor is paused
    bool monitorShown = false;  // either monitor window is visible
    bool canSendEnabled = false;
    int driverMode = 0;         // 0 normal; anything else keeps the adapter from sending
    bool graphEnabled = false;
    bool stdMaskChecked = false;
    bool extMaskChecked = false;
    bool linUseSend = true;
    bool linMaster = false;
    int busStatus = 2;          // 0 active, 1 warning, 2 passive, else bus off
    bool commandRunning = false;  // a command sequence waits for the adapter
};

struct ControlState {
    bool enabled = true;
    bool visible = true;
    bool operator==(const ControlState&) const = default;
};

struct MainFormStates {
    bool monitorFunction = true;  // the CAN/LIN choice
    ControlState portOpen, portClose, systemConfig;
    ControlState onBus, offBus;
    ControlState copy, save, clear, pause, conti;
    ControlState sendWindow, graphWindow;
    bool maskGroups = true;  // both mask groups and their check boxes
    bool stdMaskFields = false;
    bool extMaskFields = false;
    bool linGroup = false;
    bool linUseSend = true;   // the "Use Send Message" box
    bool linMaster = true;    // the "Master-Node" box
    bool linFields = true;    // LIN id, length and data edits with their labels
    ControlState linMasterSend, linSlaveStart, linSlaveStop;
    bool busSpeed = true;     // speed label and lists
    QColor lamp;
    bool transmitEnabled = false;  // the transmit window may send
    bool operator==(const MainFormStates&) const = default;
};

MainFormStates ComputeControlStates(const MainFormFacts& f);

// Red off bus; on bus green, yellow, red or black by error state.
QColor LampColorFor(bool onBus, int busStatus);

}  // namespace tarvik
