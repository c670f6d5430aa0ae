// A small X11 program for the window tests: shows a dialog-like window owned
// by its main window first, then (0.3 s later) the main window itself, marks
// both with its process id, and waits to be killed.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {
xcb_atom_t Atom(xcb_connection_t* C, const char* Name)
{
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(C, xcb_intern_atom(C, 0, uint16_t(std::strlen(Name)), Name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

// "--no-pid": the windows do not say whose they are, as some older programs'.
bool MarkPid = true;

xcb_window_t Make(xcb_connection_t* C, xcb_screen_t* S, xcb_atom_t PidAtom)
{
    const xcb_window_t w = xcb_generate_id(C);
    xcb_create_window(C, XCB_COPY_FROM_PARENT, w, S->root, 10, 10, 200, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      S->root_visual, 0, nullptr);
    const uint32_t pid = uint32_t(getpid());
    if (MarkPid)
        xcb_change_property(C, XCB_PROP_MODE_REPLACE, w, PidAtom, XCB_ATOM_CARDINAL, 32, 1, &pid);
    return w;
}
} // namespace

int main(int Argc, char** Argv)
{
    MarkPid = !(Argc > 1 && std::strcmp(Argv[1], "--no-pid") == 0);
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_atom_t pidAtom = Atom(c, "_NET_WM_PID");
    const xcb_window_t main = Make(c, s, pidAtom), owned = Make(c, s, pidAtom);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, owned, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32, 1, &main);
    // Standard output says when each window is shown: the owned one's id,
    // then the main one's. A round trip first, so that the window is
    // viewable by the time the test reads the line.
    auto Show = [c](xcb_window_t W) {
        xcb_map_window(c, W);
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        char line[32];
        const int n = snprintf(line, sizeof line, "%u\n", W);
        return write(1, line, size_t(n)) == n;
    };
    if (!Show(owned))
        return 1;
    usleep(300000);
    if (!Show(main))
        return 1;
    for (;;)
        pause();
}
