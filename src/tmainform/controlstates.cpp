#include "tmainform/controlstates.h"

namespace tarvik {

QColor LampColorFor(bool onBus, int busStatus)
{
    if (!onBus) return QColor(255, 0, 0);
    switch (busStatus) {
    case 0: return QColor(0, 255, 0);
    case 1: return QColor(255, 255, 0);
    case 2: return QColor(255, 0, 0);
    default: return QColor(0, 0, 0);
    }
}

MainFormStates ComputeControlStates(const MainFormFacts& f)
{
    MainFormStates s;
    const bool linMode = !f.canMode;
    s.monitorFunction = !f.portOpen;
    s.portOpen = {true, !f.portOpen};
    s.portClose = {true, f.portOpen};
    s.systemConfig = {!f.portOpen, true};
    s.onBus = {true, !f.onBus};
    s.offBus = {true, f.onBus};
    // On bus they take a snapshot of the monitor at that moment.
    s.copy = {f.hasLines, true};
    s.save = {f.hasLines, true};
    s.clear = {f.hasLines, true};
    s.pause = {f.monitorShown, !f.paused};
    s.conti = {f.monitorShown, f.paused};
    s.sendWindow = {f.canSendEnabled && f.driverMode == 0 && f.canMode, true};
    s.graphWindow = {f.graphEnabled && f.canMode, true};

    s.maskGroups = !f.onBus && f.canMode;
    s.stdMaskFields = f.stdMaskChecked && s.maskGroups;
    s.extMaskFields = f.extMaskChecked && s.maskGroups;

    s.linGroup = linMode;
    s.linUseSend = !f.onBus && linMode;
    s.linMaster = !f.onBus && f.linUseSend;
    s.linFields = f.linUseSend;
    const bool linSend = f.portOpen && linMode && f.linUseSend;
    s.linMasterSend = {linSend && f.linMaster, f.linMaster};
    s.linSlaveStart = {linSend && !f.linMaster, !f.linMaster};
    s.linSlaveStop = {linSend && !f.linMaster, !f.linMaster};

    // While a sequence waits for the adapter, another click must not start a second one
    // (the wait holds clicks back; they arrive afterwards and find these disabled).
    if (f.commandRunning) {
        for (ControlState* a : {&s.portOpen, &s.portClose, &s.systemConfig, &s.onBus, &s.offBus, &s.clear,
                                &s.linMasterSend, &s.linSlaveStart, &s.linSlaveStop})
            a->enabled = false;
    }

    s.busSpeed = !f.onBus;
    s.lamp = LampColorFor(f.onBus, f.busStatus);
    s.transmitEnabled = f.onBus;
    return s;
}

}  // namespace tarvik
