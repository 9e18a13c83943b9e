// The web view's page (web_page.html, built into the server).
#ifndef LUMO_SERVER_WEB_WEB_PAGE_H
#define LUMO_SERVER_WEB_WEB_PAGE_H

namespace lumo::server {
extern const unsigned char kWebPage[];
extern const unsigned long kWebPage_size;
}  // namespace lumo::server

#endif
