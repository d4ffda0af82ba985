// Registry layout: key names, value names, sizes and codes of the configuration store.
#pragma once

#define TK_PRODUCT_KEY "SOFTWARE\\Tandemkeep"
#define TK_FILES_KEY TK_PRODUCT_KEY "\\Files"

// Buffers of the design: paths in 260 bytes, FTP texts in 256 bytes.
enum {
    TK_PATH_SIZE = 260,
    TK_FTPTEXT_SIZE = 256,
    // "SOFTWARE\Tandemkeep\Files\" + name + "\FTP" must fit a 260-byte key path.
    TK_MAX_ITEM_PATH = 229,
    // Restore-record names and data texts are built in 260-byte buffers.
    TK_MAX_RECORD_TEXT = 259,
    // restorefolder is read whole into this much, so that a folder too long
    // for a path is told as such instead of being passed over.
    TK_RESTORE_FOLDER_SIZE = 4096,
    // ftp_tlsfingerprint: 64 hexadecimal digits as stored, room for openssl's
    // form with colons as an administrator may paste it.
    TK_FINGERPRINT_TEXT_SIZE = 128,
};

// Target kinds, shared by requests, restore records and store operations.
enum { KIND_FTP = 1, KIND_HD = 2 };

// Parts of an ItemSettings that SaveItemSettings writes.
enum { SAVE_FTP = 1, SAVE_HD = 2, SAVE_OPTIONS = 4 };

// Storage types of a target (tested as bits by the copy).
enum { STORAGE_SYNC = 1, STORAGE_BACKUP = 2, STORAGE_APPEND = 4 };

// Results of the store operations: 1 for success, 0 for failure, and 6 from
// the settings load and save when an argument is missing.
enum { STORE_FAILED = 0, STORE_OK = 1, STORE_MISSING_ARGUMENT = 6 };

// Global switches of one REG_BINARY byte; a missing value is off, as for a key written by hand
// or by an older version.
#define TK_VALUE_RETRYFAILED "retryfailed"
#define TK_VALUE_CATCHUP "catchup"

#define HD_RECORD_DATA "Hard Drive or Networked Drive"
