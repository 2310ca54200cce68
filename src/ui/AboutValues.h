#pragma once
// What the about dialog (frmAbout) shows beside its captions, and the addresses its links open.
#include "platform/Format.h"

#include <string>

class ConfigSettings;

struct AboutValues {
    std::string AppTitle;    // lblAppTitle: "Vostrand-Uploader"
    std::string Version;     // lblVersion: "1.00.0009"
    std::string Company;     // lblCompany
    std::string Comments;    // lblComments
    std::string Url;         // lblUrl: the service's base URL
    std::string EMail;       // lblEMail: the support address
    std::string UploadCount; // lblUploadCount: files uploaded, "###,###,###,##0"
    std::string UploadSize;  // lblUploadSize: MB uploaded, "###,###,###,##0.00", " MB"
    std::string Impressum;   // lblImpressum: the caption of the imprint link
    std::string Copyright;   // lblCopyright

    // What a click on lblUrl (or the banner), lblEMail and lblImpressum opens.
    std::string UrlTarget;
    std::string EMailTarget;
    std::string ImpressumTarget;
};

namespace about {

inline constexpr char Company[] = "Vostrand";
inline constexpr char SupportAddress[] = "support@vostrand.example";

} // namespace about

// The values for the statistics of settings now; baseUrl is the service's root (a missing
// trailing "/" is added).
AboutValues MakeAboutValues(const ConfigSettings& settings, const NumberFormat& format,
                            const std::string& baseUrl);
