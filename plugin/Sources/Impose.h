// The imposition engine: imposes data->srcDoc into the template of the job.
#pragma once

#include "ImposeDlg.h"

// Imposes the job; returns the new document (also in data->resultDoc), or null.
// Errors are reported with doExceptionError and counted in error-handling mode 2.
PDDoc imposeDocWithData(ImposeData* data);
