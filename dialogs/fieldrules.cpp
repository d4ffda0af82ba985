// Pure checks of typed fields: the target pages, the Options page and Add File or Folder.
#include "dialogs/fieldrules.h"

#include "dialogs/dlgtext.h"
#include "store/layout.h"
#include "transfer/ftp/ftptlsrules.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const FieldVerdict kOk = {FIELD_OK, NULL, 0};

FieldVerdict Problem(FieldProblem problem)
{
    return FieldVerdict{problem, NULL, 0};
}

bool IsDigits(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

bool EndsWithSlash(const std::string& text)
{
    return !text.empty() && (text.back() == '\\' || text.back() == '/');
}

}  // namespace

FieldVerdict CheckFtpFields(FtpFields* f, bool enabled, bool isNew, bool nameExists)
{
    // In the order the page reads its fields, whether or not FTP is on.
    const struct {
        const std::string* text;
        const char* field;
        int maxChars;
    } lengths[] = {{&f->name, "FTP name", MAX_FTP_TEXT},
                   {&f->address, "FTP address", MAX_FTP_TEXT},
                   {&f->port, "FTP port", 15},
                   {&f->user, "FTP username", MAX_FTP_TEXT},
                   {&f->password, "FTP password", MAX_FTP_TEXT},
                   {&f->folder, "Folder", MAX_PATH_TEXT}};
    for (const auto& l : lengths)
        if (l.text->size() > static_cast<size_t>(l.maxChars))
            return FieldVerdict{FIELD_TOO_LONG, l.field, l.maxChars};
    if (!enabled)
        return kOk;
    if (f->name.empty())
        return Problem(FTP_NAME_BLANK);
    if (isNew && nameExists)
        return Problem(FTP_NAME_TAKEN);
    if (f->address.empty())
        return Problem(FTP_ADDRESS_BLANK);
    if (f->port.empty())
        return Problem(FTP_PORT_BLANK);
    if (!IsDigits(f->port) || PortValue(f->port) == 0)
        return Problem(FTP_PORT_INVALID);
    if (f->user.empty() && !f->anonymous)
        return Problem(FTP_USER_BLANK);
    if (f->password.empty() && !f->anonymous)
        return Problem(FTP_PASSWORD_BLANK);
    if (f->folder.empty())
        f->folder = "/";
    if (!IsValidFtpFolder(f->folder.c_str()))
        return Problem(FTP_FOLDER_INVALID);
    return kOk;
}

FieldVerdict CheckFingerprintField(std::string* typed, bool enabled)
{
    const int most = TK_FINGERPRINT_TEXT_SIZE - 1;
    if (typed->size() > static_cast<size_t>(most))
        return FieldVerdict{FIELD_TOO_LONG, "Certificate", most};
    char stored[TLS_FINGERPRINT_SIZE];
    if (!enabled)
        return kOk;
    if (!StoredFingerprint(typed->c_str(), stored))
        return Problem(FTP_FINGERPRINT_INVALID);
    *typed = stored;
    return kOk;
}

WORD PortValue(const std::string& text)
{
    unsigned long port = strtoul(text.c_str(), NULL, 10);
    return static_cast<WORD>(port <= 65535 ? port : 0);
}

FieldVerdict CheckDriveFolder(const std::string& typed, bool enabled, bool isNew, bool folderExists)
{
    if (typed.size() > static_cast<size_t>(MAX_PATH_TEXT))
        return FieldVerdict{FIELD_TOO_LONG, "hard drive folder", MAX_PATH_TEXT};
    if (!enabled)
        return kOk;
    if (StoredFolder(typed).empty())
        return Problem(HD_FOLDER_BLANK);
    if (isNew && folderExists)
        return Problem(HD_FOLDER_TAKEN);
    return kOk;
}

std::string StoredFolder(std::string folder)
{
    if (folder.size() >= 2 && EndsWithSlash(folder))
        folder.pop_back();
    return folder;
}

std::vector<std::string> FolderLevels(const std::string& folder)
{
    std::vector<std::string> levels;
    for (size_t at = folder.find('\\'); at != std::string::npos; at = folder.find('\\', at + 1))
        levels.push_back(folder.substr(0, folder.find('\\', at + 1)));
    return levels;
}

AddItemPlan PlanAddItem(const std::string& typed, bool isFile, const char* windowsDir)
{
    AddItemPlan plan = {FIELD_OK, false, false, typed, isFile ? 1 : 2};
    if (typed.size() > static_cast<size_t>(MAX_PATH_TEXT)) {
        plan.problem = ADD_PATH_TOO_LONG;
        return plan;
    }
    if (typed.empty()) {
        plan.problem = isFile ? ADD_FILE_BLANK : ADD_FOLDER_BLANK;
        return plan;
    }
    if (isFile) {
        if (EndsWithSlash(plan.path))
            plan.path.pop_back();
        return plan;
    }
    plan.askRoot = IsDriveRootText(typed.c_str());
    plan.askWindows = IsWindowsDirText(typed.c_str(), windowsDir);
    if (!EndsWithSlash(plan.path))
        plan.path += '\\';
    // 259 characters fit the field, but not with the separator a folder gets.
    if (plan.path.size() > static_cast<size_t>(MAX_PATH_TEXT))
        plan.problem = ADD_PATH_TOO_LONG;
    return plan;
}

FieldProblem CheckNewItem(int result, const std::string& path, bool fileOpenable, bool folderExists)
{
    if (result == 1 && !fileOpenable)
        return ITEM_FILE_MISSING;
    if (result == 2 && !folderExists)
        return ITEM_FOLDER_MISSING;
    if (path.size() > static_cast<size_t>(TK_MAX_ITEM_PATH))
        return ITEM_PATH_TOO_LONG;
    return FIELD_OK;
}

bool ParseSizeLimit(const std::string& text, DWORD* limit)
{
    if (text.size() >= 64)
        return false;
    if (!IsDigits(text)) {
        *limit = 0;
        return true;
    }
    unsigned long long value = strtoull(text.c_str(), NULL, 10);
    if (value > 0xFFFFFFFFull)
        return false;
    *limit = static_cast<DWORD>(value);
    return true;
}

const char* FieldProblemCaption(FieldProblem problem)
{
    switch (problem) {
    case FIELD_OK:
        return "";
    case FIELD_TOO_LONG:
        return "Field Too Long";
    case FTP_NAME_BLANK:
        return "Name Blank";
    case FTP_NAME_TAKEN:
        return "Site Already Exists";
    case FTP_ADDRESS_BLANK:
        return "Address Blank";
    case FTP_PORT_BLANK:
        return "Port Blank";
    case FTP_PORT_INVALID:
        return "Invalid Port";
    case FTP_USER_BLANK:
        return "Username Blank";
    case FTP_PASSWORD_BLANK:
        return "Password Blank";
    case FTP_FOLDER_INVALID:
    case FTP_FINGERPRINT_INVALID:
        return "Invalid Field";
    case HD_FOLDER_BLANK:
        return "Address Blank";
    case HD_FOLDER_TAKEN:
        return "Already Defined";
    case ADD_FILE_BLANK:
        return "Blank Field";
    case ADD_FOLDER_BLANK:
        return "Blank Field";
    case ADD_PATH_TOO_LONG:
        return "Path Too Long";
    case ITEM_FILE_MISSING:
        return "Error";
    case ITEM_FOLDER_MISSING:
        return "Error";
    case ITEM_PATH_TOO_LONG:
        return "Error";
    }
    return "";
}

std::string FieldProblemText(const FieldVerdict& verdict, const std::string& subject)
{
    char text[1024] = "";
    switch (verdict.problem) {
    case FIELD_OK:
        break;
    case FIELD_TOO_LONG:
        snprintf(text, sizeof text,
                 "The %s field is too long.  It can hold at most %d characters.  Please shorten it "
                 "and try again.",
                 verdict.field, verdict.maxChars);
        break;
    case FTP_NAME_BLANK:
        return "You didn't enter anything in the FTP name field.  You need to supply a name with "
               "which to "
               "reference this particular ftp site (eg. \"My Web Page\").";
    case FTP_NAME_TAKEN:
        snprintf(text, sizeof text,
                 "You have already added an FTP site called %s.  Please choose another name, or "
                 "remove the old "
                 "site from the list by selecting it, then clicking \"Remove\".",
                 subject.c_str());
        break;
    case FTP_ADDRESS_BLANK:
        return "You didn't enter anything in the FTP address field.  Tandemkeep needs this field "
               "to find the "
               "FTP site.  Alternately, you can uncheck FTP synchronization (top).  Please fill in "
               "the field "
               "and try again.";
    case FTP_PORT_BLANK:
        return "You didn't enter anything in the FTP port field.  Tandemkeep needs the port to "
               "know how to "
               "connect to the FTP site.  Please fill in the field and try again.";
    case FTP_PORT_INVALID:
        return "The FTP port must be a number from 1 to 65535.  Please change the field and try "
               "again.";
    case FTP_USER_BLANK:
        return "You didn't enter anything in the FTP username field.  Tandemkeep needs your "
               "username to login "
               "to the FTP server.  Alternately, you can check the \"Login Anonymously\" checkbox. "
               " Please "
               "fill in the field and try again.";
    case FTP_PASSWORD_BLANK:
        return "You didn't enter anything in the FTP password field.  Tandemkeep needs your "
               "password to login "
               "to the FTP server.  Alternately, you can check the \"Login Anonymously\" checkbox. "
               " Please "
               "fill in the field and try again.";
    case FTP_FOLDER_INVALID:
        return "The Folder field must begin with a forward-slash (ie. \"/myfolder\").  To specify "
               "a specific "
               "drive, type the path with this format: /<drive>/<path> (eg. /c/myfolder).  For "
               "certain "
               "situations, you may want to begin with a double dot (..).  Please the change the "
               "field or "
               "leave it blank, then try again.";
    case FTP_FINGERPRINT_INVALID:
        return "The Certificate field takes the SHA-256 fingerprint of the server's certificate: "
               "64 hexadecimal digits (0-9, A-F), with or without colons between them, as "
               "\"openssl x509 -noout -fingerprint -sha256\" prints it.  Leave it blank to "
               "accept a certificate that this system trusts for the server's name.";
    case HD_FOLDER_BLANK:
        return "You didn't enter anything in the hard drive folder field.  Tandemkeep needs this "
               "field to know "
               "where to store the sync'd/backed up files.  Alternately, you can check off hard "
               "drive "
               "sync/backup.  Please fill in the field and try again.";
    case HD_FOLDER_TAKEN:
        snprintf(text, sizeof text,
                 "You have already added the location %s.  Rename it to something else, or remove "
                 "the old one "
                 "by selecting it from the list, and clicking \"Remove\".",
                 subject.c_str());
        break;
    case ADD_FILE_BLANK:
        return "You must fill in the file name field.";
    case ADD_FOLDER_BLANK:
        return "You must fill in the folder name field.";
    case ADD_PATH_TOO_LONG:
        return "The path you entered is too long.  A file or folder path can have at most 259 "
               "characters.";
    case ITEM_FILE_MISSING:
        return "The file you entered cannot be found.  Click Add File again and enter an existing "
               "filename.";
    case ITEM_FOLDER_MISSING:
        return "The folder you've entered does not exist.  Click \"Add\" again and try again.";
    case ITEM_PATH_TOO_LONG:
        return "This path is too long for Tandemkeep's list.  A file or folder path can have at "
               "most 229 "
               "characters; choose a shorter path.";
    }
    return text;
}
