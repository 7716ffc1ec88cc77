// The tests' one connection to the session bus: mutter ends a remote desktop
// session when the connection that made it leaves, so pointer and keys need a
// caller that stays. Reads calls as JSON lines,
//   [destination, path, interface, method, signature, [args...]]
// and answers each with one line: {"reply": [values...]} or {"error": "..."}.

const {Gio, GLib} = imports.gi;

const input = new Gio.DataInputStream({base_stream: new Gio.UnixInputStream({fd: 0})});
const bus = Gio.DBus.session;

function answer(value) {
    print(JSON.stringify(value));
}

for (;;) {
    const [line] = input.read_line_utf8(null);
    if (line === null)
        break;
    try {
        const [destination, path, iface, method, signature, args] = JSON.parse(line);
        const reply = bus.call_sync(destination, path, iface, method,
            signature ? new GLib.Variant(`(${signature})`, args) : null,
            null, Gio.DBusCallFlags.NONE, 30000, null);
        answer({reply: reply.recursiveUnpack()});
    } catch (e) {
        answer({error: e.message});
    }
}
