// What one read of the expert's symbol document costs in the panel (the 100 ms tick's first step).
#include <windows.h>
#include <objbase.h>

#include <cstring>

#include "exchange/shared_text.h"
#include "exchange/symbol_info.h"
#include "exchange/xml_document.h"
#include "tools/bench/figures.h"
#include "tools/bench/timing.h"
#include "win/com_ptr.h"
#include "win/win_handles.h"

FigureRows SymbolReadFigures()
{
    // The expert's side: the area held open with a typical document.
    const win::UniqueHandleObject area(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                          SHARED_AREA_SIZE, infoDocumentName().c_str()));
    const win::UniqueView view(MapViewOfFile(area, FILE_MAP_ALL_ACCESS, 0, 0, SHARED_AREA_SIZE));
    if (!view)
        return {{"symbol document read", "the area could not be made", "", false}};
    const char document[] = "<Symbol Name=\"EURUSD\" Company=\"Stand-in Markets Ltd.\" Digits=\"5\" Ask=\"1.08456\" "
                            "Bid=\"1.08444\" AskUp=\"1\" BidUp=\"0\" Vol=\"0.10\" Profit=\"-12.50\" BEPrice=\"1.08321\"/>";
    std::memcpy(view.get(), document, sizeof document);
    CoInitialize(nullptr);

    constexpr int calls = 2000;
    SymbolInfo info;
    ReadSymbolInfo(info);  // loads the parser's code once
    const double whole = MicrosecondsPerCall(calls, [&] { ReadSymbolInfo(info); });
    const double channel = MicrosecondsPerCall(calls, [] { ReadSharedText(infoDocumentName()); });
    const double parser = MicrosecondsPerCall(calls, [] {
        win::ComPtr<IXMLDOMDocument> xml;
        CreateXmlDocument(xml.put());
    });
    CoUninitialize();

    return {{"symbol document read (area, parser, parse)", Format("%.2f ms", whole / 1000.0), "", true},
            {"  of which the area / the parser object", Format("%.2f ms / %.2f ms", channel / 1000.0, parser / 1000.0),
             "", true}};
}
