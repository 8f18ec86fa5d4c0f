// x11-paste-target: a second X client for the paste tests. It maps a window and takes the
// keyboard focus; on Ctrl+V it asks the CLIPBOARD owner for UTF8_STRING, as a text field does,
// and prints what it got. It can own the clipboard itself (serving given targets, or never
// answering) and read any target of the current owner. Commands on standard input, one a line:
//   own TYPE=HEX ...   own the clipboard with these targets and bytes (hex); prints "owned"
//   own-silent         own the clipboard and never answer a request; prints "owned"
//   read TYPE          prints "data TYPE HEX" or "none TYPE"
//   targets            prints "targets A,B,..." (the owner's TARGETS)
//   ignore-paste on|off  Ctrl+V does nothing while on
//   grab-keyboard      takes the whole keyboard, as a password prompt does; prints "grabbed" or
//                      "not-grabbed"
//   ungrab-keyboard    lets it go; prints "ungrabbed"
//   quit
// Events it prints: "ready", "pasted HEX" (or "pasted-none"), "lost" (another client took the
// clipboard), "key NAME" for every key press that reaches its window (the key symbol's name).

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <poll.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

Display *g_display = nullptr;
Window g_window = 0;
Atom g_clipboard, g_targets, g_utf8, g_incoming;
std::map<Atom, std::string> g_offered;
bool g_owner = false;
bool g_silent = false;
bool g_ignorePaste = false;
// What each pending conversion was asked for: "" for a paste, else the target name of a read.
std::deque<std::string> g_pending;

void say(const std::string &line) {
    std::cout << line << std::endl;
}

std::string hex(const unsigned char *data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

std::string unhex(const std::string &text) {
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out += char(std::stoi(text.substr(i, 2), nullptr, 16));
    return out;
}

std::string atomName(Atom atom) {
    char *name = XGetAtomName(g_display, atom);
    std::string out = name ? name : "";
    if (name)
        XFree(name);
    return out;
}

void request(Atom target, const std::string &purpose, Time time) {
    g_pending.push_back(purpose);
    XConvertSelection(g_display, g_clipboard, target, g_incoming, g_window, time);
    XFlush(g_display);
}

void received(const XSelectionEvent &event) {
    if (g_pending.empty())
        return;
    const std::string purpose = g_pending.front();
    g_pending.pop_front();
    std::string bytes;
    bool got = false;
    if (event.property != None) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(g_display, g_window, event.property, 0, LONG_MAX / 4, True, AnyPropertyType, &type,
                               &format, &items, &after, &data) == Success) {
            got = type != None;
            if (format == 32 && type == XA_ATOM) {
                const long *atoms = reinterpret_cast<const long *>(data);
                for (unsigned long i = 0; i < items; ++i)
                    bytes += (i ? "," : "") + atomName(Atom(atoms[i]));
            } else if (data) {
                bytes.assign(reinterpret_cast<const char *>(data), items * size_t(format / 8));
            }
            if (data)
                XFree(data);
        }
    }
    if (purpose.empty()) {
        say(got ? "pasted " + hex(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size()) : "pasted-none");
    } else if (purpose == "TARGETS") {
        say("targets " + bytes);
    } else if (got) {
        say("data " + purpose + " " + hex(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size()));
    } else {
        say("none " + purpose);
    }
}

void serve(const XSelectionRequestEvent &request) {
    if (g_silent)
        return;
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = request.display;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = None;
    const Atom property = request.property != None ? request.property : request.target;
    if (request.target == g_targets) {
        std::vector<long> atoms{long(g_targets)};
        for (const auto &[atom, bytes] : g_offered)
            atoms.push_back(long(atom));
        XChangeProperty(g_display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(atoms.data()), int(atoms.size()));
        reply.property = property;
    } else if (auto it = g_offered.find(request.target); it != g_offered.end()) {
        XChangeProperty(g_display, request.requestor, property, request.target, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(it->second.data()), int(it->second.size()));
        reply.property = property;
    }
    XSendEvent(g_display, request.requestor, False, 0, reinterpret_cast<XEvent *>(&reply));
    XFlush(g_display);
}

void command(const std::string &line) {
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    if (verb == "own" || verb == "own-silent") {
        g_offered.clear();
        g_silent = verb == "own-silent";
        std::string entry;
        while (words >> entry) {
            const size_t eq = entry.find('=');
            g_offered[XInternAtom(g_display, entry.substr(0, eq).c_str(), False)] = unhex(entry.substr(eq + 1));
        }
        XSetSelectionOwner(g_display, g_clipboard, g_window, CurrentTime);
        XSync(g_display, False);
        g_owner = XGetSelectionOwner(g_display, g_clipboard) == g_window;
        say(g_owner ? "owned" : "not-owned");
    } else if (verb == "read") {
        std::string type;
        words >> type;
        request(XInternAtom(g_display, type.c_str(), False), type, CurrentTime);
    } else if (verb == "targets") {
        request(g_targets, "TARGETS", CurrentTime);
    } else if (verb == "ignore-paste") {
        std::string value;
        words >> value;
        g_ignorePaste = value == "on";
        say("ok");
    } else if (verb == "grab-keyboard") {
        const int status = XGrabKeyboard(g_display, g_window, False, GrabModeAsync, GrabModeAsync, CurrentTime);
        XSync(g_display, False);
        say(status == GrabSuccess ? "grabbed" : "not-grabbed");
    } else if (verb == "ungrab-keyboard") {
        XUngrabKeyboard(g_display, CurrentTime);
        XSync(g_display, False);
        say("ungrabbed");
    } else if (verb == "quit") {
        std::exit(0);
    }
}

} // namespace

int main() {
    g_display = XOpenDisplay(nullptr);
    if (!g_display) {
        say("no-display");
        return 1;
    }
    g_clipboard = XInternAtom(g_display, "CLIPBOARD", False);
    g_targets = XInternAtom(g_display, "TARGETS", False);
    g_utf8 = XInternAtom(g_display, "UTF8_STRING", False);
    g_incoming = XInternAtom(g_display, "PASTE_TARGET_INCOMING", False);
    g_window = XCreateSimpleWindow(g_display, DefaultRootWindow(g_display), 0, 0, 200, 100, 0, 0, 0);
    XSelectInput(g_display, g_window, KeyPressMask | StructureNotifyMask | PropertyChangeMask);
    XMapWindow(g_display, g_window);
    for (;;) {
        XEvent event;
        XNextEvent(g_display, &event);
        if (event.type == MapNotify)
            break;
    }
    XSetInputFocus(g_display, g_window, RevertToParent, CurrentTime);
    XSync(g_display, False);
    say("ready");

    std::string input;
    char buffer[4096];
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {ConnectionNumber(g_display), POLLIN, 0}};
    for (;;) {
        while (XPending(g_display)) {
            XEvent event;
            XNextEvent(g_display, &event);
            if (event.type == KeyPress) {
                const KeySym sym = XLookupKeysym(&event.xkey, 0);
                const char *name = XKeysymToString(sym);
                say(std::string("key ") + (name ? name : "NoSymbol"));
                if ((event.xkey.state & ControlMask) && sym == XK_v && !g_ignorePaste)
                    request(g_utf8, "", event.xkey.time);
            } else if (event.type == SelectionNotify) {
                received(event.xselection);
            } else if (event.type == SelectionRequest) {
                serve(event.xselectionrequest);
            } else if (event.type == SelectionClear) {
                g_owner = false;
                say("lost");
            }
        }
        if (poll(fds, 2, -1) < 0)
            continue;
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0)
                return 0;
            input.append(buffer, size_t(n));
            for (size_t newline; (newline = input.find('\n')) != std::string::npos;) {
                const std::string line = input.substr(0, newline);
                input.erase(0, newline + 1);
                command(line);
            }
        }
    }
}
