#pragma once

typedef struct _SoupServerMessage SoupServerMessage;
class PageFiles;

// What every request to the guests' server goes through once its headers are in: it may go on
// (true) only from the local network, as a GET or HEAD without a body, for this server (no
// absolute URI naming another host). Otherwise its answer is set (403, 405, 413, 404).
bool admitGuestRequest(SoupServerMessage* message);

// One of the page's files, byte for byte (gzip-encoded to a client that takes it, where that is
// much smaller), or 404.
void serveGuestFile(SoupServerMessage* message, const PageFiles& files);
