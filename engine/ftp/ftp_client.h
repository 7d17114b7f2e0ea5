// The FTP client of the HTTP proxy's ftp:// road: one login, the folder
// change, the transfer type, a passive (or, refused, an active) data
// connection, one LIST or RETR, QUIT. The data connection's bytes go to the
// output file unchanged.
#pragma once

#include <cstdio>
#include <string>

#include "engine/ftp/ftp_url.h"

namespace engine {

struct FtpFetch {
    // The transfer ran whole: its opening reply, every byte of the data
    // connection up to its end, and a positive final reply.
    bool complete = false;
    // The server's last reply line that ended the dialogue early (the 530
    // of a wrong password, the 550 of a missing file), else empty, and its
    // code.
    std::string refusal;
    int refusalCode = 0;
};

// Result: 0 when the dialogue ran to its end (also when the server refused
// a step: see fetch), -1 when the host can't be resolved or connected, -2
// when a socket can't be made or the active-mode data port can't be bound
// and listened on, -4 when the control socket's addresses can't be read.
// The data thread has always ended when this returns; the output file
// stays open. A last path part that the server refuses as a folder is
// fetched as a file: request then names that file.
int FtpClient(FtpUrlRequest& request, FILE* output, FtpFetch& fetch);

// The time an FTP exchange of the engine waits for a peer: the longer of
// the two plain time-outs of -t (a minute when neither is set): the
// client's alone is a few milliseconds on the HTTP proxy.
int FtpWaitMs();

}  // namespace engine
