#include "platform/ProcessWindow.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <xcb/res.h>
#include <xcb/xcb.h>

namespace {

struct TConnection {
    xcb_connection_t* C = nullptr;
    xcb_window_t Root = 0;
    int Screen = 0;
    TConnection()
    {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display)
            return;
        int screen = 0;
        C = xcb_connect(display, &screen);
        if (xcb_connection_has_error(C)) {
            xcb_disconnect(C);
            C = nullptr;
            return;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(C));
        for (int i = 0; it.rem && i < screen; ++i)
            xcb_screen_next(&it);
        if (it.rem)
            Root = it.data->root;
        Screen = screen;
    }
    ~TConnection()
    {
        if (C)
            xcb_disconnect(C);
    }
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;
    explicit operator bool() const { return C && Root; }

    xcb_atom_t Atom(const char* Name) const
    {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> r(
            xcb_intern_atom_reply(C, xcb_intern_atom(C, 0, uint16_t(std::strlen(Name)), Name), nullptr), &std::free);
        return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
};

template <class T> using TReply = std::unique_ptr<T, decltype(&std::free)>;

// The process id of the local program that made W, as the server knows it
// (for programs that do not mark their windows with _NET_WM_PID); 0 when
// the server cannot say.
uint32_t ClientPid(const TConnection& X, xcb_window_t W)
{
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(X.C, &xcb_res_id);
    if (!ext || !ext->present)
        return 0;
    xcb_res_client_id_spec_t spec{W, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    TReply<xcb_res_query_client_ids_reply_t> r(
        xcb_res_query_client_ids_reply(X.C, xcb_res_query_client_ids(X.C, 1, &spec), nullptr), &std::free);
    if (!r)
        return 0;
    for (xcb_res_client_id_value_iterator_t it = xcb_res_query_client_ids_ids_iterator(r.get()); it.rem;
         xcb_res_client_id_value_next(&it))
        if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) && it.data->length >= 4)
            return *xcb_res_client_id_value_value(it.data);
    return 0;
}

// The window's own process id: its _NET_WM_PID, else the id of the program
// that made it; 0 when neither can be had.
uint32_t WindowPid(const TConnection& X, xcb_window_t W, xcb_atom_t PidAtom)
{
    TReply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(X.C, xcb_get_property(X.C, 0, W, PidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr),
        &std::free);
    if (!r || r->format != 32 || xcb_get_property_value_length(r.get()) < 4)
        return ClientPid(X, W);
    uint32_t pid;
    std::memcpy(&pid, xcb_get_property_value(r.get()), 4);
    return pid;
}

bool IsOwned(const TConnection& X, xcb_window_t W)
{
    TReply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(X.C, xcb_get_property(X.C, 0, W, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 0, 1),
                               nullptr),
        &std::free);
    return r && xcb_get_property_value_length(r.get()) >= 4;
}

bool IsViewable(const TConnection& X, xcb_window_t W)
{
    TReply<xcb_get_window_attributes_reply_t> r(
        xcb_get_window_attributes_reply(X.C, xcb_get_window_attributes(X.C, W), nullptr), &std::free);
    return r && r->map_state == XCB_MAP_STATE_VIEWABLE;
}

std::vector<xcb_window_t> Children(const TConnection& X, xcb_window_t W)
{
    TReply<xcb_query_tree_reply_t> r(xcb_query_tree_reply(X.C, xcb_query_tree(X.C, W), nullptr), &std::free);
    if (!r)
        return {};
    const xcb_window_t* c = xcb_query_tree_children(r.get());
    return {c, c + xcb_query_tree_children_length(r.get())};
}

// A client window of Pid among the root's children, or one level below them
// (a window manager puts each client into a frame of its own).
xcb_window_t FindWindow(const TConnection& X, uint32_t Pid, xcb_atom_t PidAtom)
{
    for (xcb_window_t top : Children(X, X.Root)) {
        if (!IsViewable(X, top))
            continue;
        std::vector<xcb_window_t> candidates{top};
        for (xcb_window_t c : Children(X, top))
            candidates.push_back(c);
        for (xcb_window_t w : candidates)
            if (WindowPid(X, w, PidAtom) == Pid && IsViewable(X, w) && !IsOwned(X, w))
                return w;
    }
    return 0;
}

bool Alive(int Pid)
{
    return kill(Pid, 0) == 0;
}

} // namespace

uint32_t WaitForProcessWindow(int Pid)
{
    const char* display = std::getenv("DISPLAY");
    if (Pid <= 0 || !display || !*display)
        return 0;
    // A busy server may refuse a connection for a moment (seen while a
    // client of it was being killed): each try connects again until one
    // holds.
    std::unique_ptr<TConnection> x;
    xcb_atom_t pidAtom = XCB_ATOM_NONE;
    auto Find = [&]() -> xcb_window_t {
        if (!x || !*x) {
            x = std::make_unique<TConnection>();
            if (!*x)
                return 0;
            pidAtom = x->Atom("_NET_WM_PID");
        }
        return pidAtom == XCB_ATOM_NONE ? 0 : FindWindow(*x, uint32_t(Pid), pidAtom);
    };
    using namespace std::chrono_literals;
    // While the program starts up.
    for (int i = 0; i < 100; ++i) {
        if (const xcb_window_t w = Find())
            return w;
        if (!Alive(Pid))
            return 0;
        std::this_thread::sleep_for(50ms);
    }
    for (int i = 0; i < 7; ++i) {
        if (const xcb_window_t w = Find())
            return w;
        std::this_thread::sleep_for(100ms);
    }
    return 0;
}

bool SetProcessWindowTitle(uint32_t Window, const std::string& Title)
{
    if (Window == 0)
        return false;
    // As above: a refused connection is tried again for a moment.
    auto conn = std::make_unique<TConnection>();
    for (int i = 0; i < 20 && !*conn && std::getenv("DISPLAY"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        conn = std::make_unique<TConnection>();
    }
    if (!*conn)
        return false;
    const TConnection& x = *conn;
    const xcb_atom_t netName = x.Atom("_NET_WM_NAME"), utf8 = x.Atom("UTF8_STRING");
    const auto n = uint32_t(Title.size());
    if (netName != XCB_ATOM_NONE && utf8 != XCB_ATOM_NONE)
        xcb_change_property(x.C, XCB_PROP_MODE_REPLACE, Window, netName, utf8, 8, n, Title.data());
    xcb_change_property(x.C, XCB_PROP_MODE_REPLACE, Window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, n, Title.data());
    // A round trip, so that the title is in place when we return.
    TReply<xcb_get_input_focus_reply_t> r(xcb_get_input_focus_reply(x.C, xcb_get_input_focus(x.C), nullptr),
                                          &std::free);
    return r != nullptr;
}

bool CompositorRunning()
{
    // A compositing manager owns the selection _NET_WM_CM_Sn of its screen n
    // for as long as it runs.
    const TConnection x;
    if (!x)
        return false;
    const xcb_atom_t Selection = x.Atom(("_NET_WM_CM_S" + std::to_string(x.Screen)).c_str());
    if (Selection == XCB_ATOM_NONE)
        return false;
    TReply<xcb_get_selection_owner_reply_t> r(
        xcb_get_selection_owner_reply(x.C, xcb_get_selection_owner(x.C, Selection), nullptr), &std::free);
    return r && r->owner != XCB_WINDOW_NONE;
}
