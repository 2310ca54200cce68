#include "ui/AboutValues.h"

#include "settings/modConfig.h"
#include "ui/UploadQueue.h"

AboutValues MakeAboutValues(const ConfigSettings& settings, const NumberFormat& format,
                            const std::string& baseUrl) {
    AboutValues v;
    v.AppTitle = UploadQueue::ProgramTitle;
    v.Version = UploadQueue::LocalVersion();
    v.Company = about::Company;
    v.Comments = "Uploads files to the Vostrand file-hosting service.";
    v.Url = baseUrl.empty() || baseUrl.back() == '/' ? baseUrl : baseUrl + "/";
    v.EMail = about::SupportAddress;
    v.UploadCount = FormatInteger(static_cast<double>(settings.StatisticCount()), format);
    v.UploadSize =
        FormatFixed2(static_cast<double>(settings.StatisticSize()) / 1048576.0, format) + " MB";
    v.Impressum = "Impressum";
    v.Copyright = std::string("Copyright \u00a9 ") + about::Company;
    v.UrlTarget = v.Url;
    v.EMailTarget = "mailto:" + v.EMail;
    v.ImpressumTarget = v.Url + "imprint.php";
    return v;
}
