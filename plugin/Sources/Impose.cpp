#include "Impose.h"

#include "ErrorHandling.h"

PDDoc imposeDocWithData(ImposeData* data) {
    // Until the frames of the template are filled, the job carries the source's pages
    // of the range into a new document; the template must open all the same.
    if (!data || !data->srcDoc) return nullptr;
    data->resultDoc = nullptr;
    PDDoc result = nullptr;
    DURING
    PDDoc tmpl = gPDModelHFT->PDDocOpen(data->templatePath, true);
    gPDModelHFT->PDDocClose(tmpl);
    ASInt32 pages = gPDModelHFT->PDDocGetNumPages(data->srcDoc);
    ASInt32 first = data->firstPage > 0 ? data->firstPage : 1;
    ASInt32 last = data->lastPage > 0 && data->lastPage <= pages ? data->lastPage : pages;
    result = gPDModelHFT->PDDocCreate();
    if (last >= first)
        gPDModelHFT->PDDocInsertPages(result, PDBeforeFirstPage, data->srcDoc, first - 1,
                                      last - first + 1, 0);
    HANDLER(void) ERRORCODE;
    doExceptionError(0);
    if (result) gPDModelHFT->PDDocClose(result);
    result = nullptr;
    END_HANDLER
    data->resultDoc = result;
    return result;
}
