/* Product name, version and web addresses; included by code and resource scripts. */
#pragma once

#define TK_PRODUCT_NAME "Tandemkeep"
#define TK_VERSION_TEXT "v1.21"
#define TK_TITLE "Tandemkeep v1.21"
#define TK_MAKER_NAME "Tandemkeep Software"
/* The maker's home page and its support page; every message that names them uses these. */
#define TK_WEB_ADDRESS "https://www.tandemkeep.example"
#define TK_SUPPORT_ADDRESS "https://www.tandemkeep.example/support"
