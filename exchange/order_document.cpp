// The panel's two reads of the order command document, which the expert executes and marks done.
#include "app/main_window.h"
#include "exchange/shared_text.h"
#include "exchange/xml_document.h"
#include "ui/com_ptr.h"
#include "ui/fatal_error.h"

bool CMainWindow::orderCompleted()
{
    win::ComPtr<IXMLDOMDocument> document;
    if (FAILED(CreateXmlDocument(document.put())))
        return false;
    const std::wstring text = ReadSharedText(orderDocumentName());
    if (text.empty())
        return false;
    bool parsed = false;
    if (FAILED(ParseXml(document.get(), text, parsed)))
        ReportFatalError(L"CMainWindow::orderCompleted");
    // Done exactly when the expert has set "Type" to "NONE".
    return parsed && GetRootAttribute(document.get(), L"Type") == L"NONE";
}

std::wstring CMainWindow::errorDescription()
{
    win::ComPtr<IXMLDOMDocument> document;
    if (FAILED(CreateXmlDocument(document.put())))
        return L"pXMLDom==NULL";
    const std::wstring text = ReadSharedText(orderDocumentName());
    // An empty document is what a failed exchange with the service leaves.
    if (text.empty())
        return L"Unknown Error.";
    bool parsed = false;
    if (FAILED(ParseXml(document.get(), text, parsed)))
        ReportFatalError(L"CMainWindow::errorDescription");
    return parsed ? GetRootAttribute(document.get(), L"Error") : std::wstring();
}
