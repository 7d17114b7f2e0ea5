// Where each proxy's users come from, while the panel runs: 0 the page's
// own user list, 1 the LDAP directory. The choice follows the mode page's
// radio buttons at once (before anything is saved); the list source is
// what the user list page shows, and follows the choice when that page is
// shown or hidden.
#pragma once

namespace panel {

inline int& HttpUserSourceChoice() {
    static int choice = 0;
    return choice;
}
inline int& SocksUserSourceChoice() {
    static int choice = 0;
    return choice;
}
inline int& HttpUserListSource() {
    static int source = 0;
    return source;
}
inline int& SocksUserListSource() {
    static int source = 0;
    return source;
}

}  // namespace panel
