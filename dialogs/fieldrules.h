// Pure checks of what the user typed into the target pages, the Options page and Add File or
// Folder; no window, file or registry here.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// What a check found, each with its own message box; FIELD_OK when nothing.
enum FieldProblem {
    FIELD_OK,
    FIELD_TOO_LONG,
    FTP_NAME_BLANK,
    FTP_NAME_TAKEN,
    FTP_ADDRESS_BLANK,
    FTP_PORT_BLANK,
    FTP_PORT_INVALID,
    FTP_USER_BLANK,
    FTP_PASSWORD_BLANK,
    FTP_FOLDER_INVALID,
    FTP_FINGERPRINT_INVALID,
    HD_FOLDER_BLANK,
    HD_FOLDER_TAKEN,
    ADD_FILE_BLANK,
    ADD_FOLDER_BLANK,
    ADD_PATH_TOO_LONG,
    ITEM_FILE_MISSING,
    ITEM_FOLDER_MISSING,
    ITEM_PATH_TOO_LONG,
};

struct FieldVerdict {
    FieldProblem problem;
    const char* field;  // FIELD_TOO_LONG: the field as the message names it
    int maxChars;       // FIELD_TOO_LONG: how many characters it holds
};

// The FTP page's fields as typed.
struct FtpFields {
    std::string name, address, port, user, password, folder;
    bool anonymous;
};

// The FTP page's rules in the order the user meets them. The lengths are
// always checked; with FTP synchronization on then the name, a new target's
// name that another target has (nameExists), the address, the port (a number
// from 1 to 65535), the user name and the password unless the login is
// anonymous, and the folder, which becomes "/" when empty and must begin
// with "/" or "..".
FieldVerdict CheckFtpFields(FtpFields* fields, bool enabled, bool isNew, bool nameExists);
// The FTP page's Certificate field, after the other fields: with FTP
// synchronization on it must be blank or a SHA-256 fingerprint, 64
// hexadecimal digits (colons and spaces between them are dropped: *typed
// becomes the form stored).
FieldVerdict CheckFingerprintField(std::string* typed, bool enabled);
// The port as stored: the typed number, 0 when it is none.
WORD PortValue(const std::string& text);

// The drive page's rules for the folder as typed: its length, then with
// drive synchronization on a blank folder and, for a new target, a folder
// that another target has (folderExists, looked up as StoredFolder gives it).
FieldVerdict CheckDriveFolder(const std::string& typed, bool enabled, bool isNew,
                              bool folderExists);
// A target folder as stored: one trailing '\' or '/' removed when the text
// has at least 2 characters (a lone "/" stays).
std::string StoredFolder(std::string folder);
// The folders to create for a drive target, parent first: for every '\' the
// text up to the next '\' or the end, so E:\a\b gives E:\a and E:\a\b.
std::vector<std::string> FolderLevels(const std::string& folder);

// Add File or Folder after "OK": the problem to tell (the dialog stays), the
// questions to ask first (No cancels), and the item path with its result
// (1 a file, 2 a folder).
struct AddItemPlan {
    FieldProblem problem;
    bool askRoot;     // a drive root such as C: or D:\ was typed
    bool askWindows;  // the Windows directory was typed
    std::string path;
    int result;
};
AddItemPlan PlanAddItem(const std::string& typed, bool isFile, const char* windowsDir);
// What refuses a path the dialog gave (result 1 a file, 2 a folder) before
// it becomes an item; FIELD_OK to create it.
FieldProblem CheckNewItem(int result, const std::string& path, bool fileOpenable,
                          bool folderExists);

// The Options page's file size limit in kilobytes: text that is not a number
// reads as 0; false for a number beyond 32 bits.
bool ParseSizeLimit(const std::string& text, DWORD* limit);

// The message box of a problem; subject is the name or folder a "taken"
// message quotes.
const char* FieldProblemCaption(FieldProblem problem);
std::string FieldProblemText(const FieldVerdict& verdict, const std::string& subject);
