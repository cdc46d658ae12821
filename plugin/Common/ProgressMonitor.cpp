#include "Common/ProgressMonitor.h"

#include "Common/API.h"
#include "Common/ErrorHandling.h"
#include "settings/MyStrings.h"
#include "platform/PlatformAPI.h"

CProgressMonitor::CProgressMonitor()
    : monitor_(nullptr), clientData_(nullptr), begun_(false), longRun_(false) {
    if (gAcroViewHFT && gAcroViewHFT->AVAppGetDocProgressMonitor)
        monitor_ = gAcroViewHFT->AVAppGetDocProgressMonitor(&clientData_);
}

CProgressMonitor::~CProgressMonitor() {
    if (longRun_) puiEndLongRun();
    if (monitor_ && begun_) {
        if (monitor_->endOperation) monitor_->endOperation(clientData_);
        if (gAcroViewHFT->AVSysSetWaitCursor) gAcroViewHFT->AVSysSetWaitCursor(false, 0);
    }
}

void CProgressMonitor::setDuration(long steps, const char* key) {
    // An Escape typed before the run does not stop it; during the run an interrupt of
    // the host is an Escape.
    if (!longRun_) {
        puiBeginLongRun();
        longRun_ = true;
    }
    if (!monitor_) return;
    if (gAcroViewHFT->AVSysSetWaitCursor) gAcroViewHFT->AVSysSetWaitCursor(true, 0);
    if (monitor_->beginOperation) monitor_->beginOperation(clientData_);
    begun_ = true;
    setText(key);
    if (monitor_->setDuration) monitor_->setDuration(static_cast<ASInt32>(steps), clientData_);
    if (monitor_->setCurrValue) monitor_->setCurrValue(0, clientData_);
}

void CProgressMonitor::setText(const char* key) {
    if (!monitor_ || !key || !monitor_->setText) return;
    ASText t = stringWithKey(key, false);
    monitor_->setText(t, clientData_);
    asTextDestroy(t);
}

bool CProgressMonitor::setValue(long n) {
    if (monitor_ && monitor_->setCurrValue)
        monitor_->setCurrValue(static_cast<ASInt32>(n), clientData_);
    return checkForEscKey();
}
