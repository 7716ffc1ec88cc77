// For the tests only: what the Shell knows and keeps to itself.
/* exported init */

const {Clutter, Gio, GLib, Meta, Shell} = imports.gi;
const Main = imports.ui.main;

// One method, Call(name, JSON arguments), answers with the JSON of the list
// of values that the probe's method of that name returns.
const INTERFACE = `
<node>
  <interface name="org.quorvant.tests.Probe">
    <method name="Call">
      <arg type="s" name="name" direction="in"/><arg type="s" name="args" direction="in"/>
      <arg type="s" direction="out"/>
    </method>
  </interface>
</node>`;

function windowTitled(title) {
    return global.get_window_actors().map(a => a.meta_window).find(w => w.get_title() === title);
}

function describe(window) {
    const r = window.get_frame_rect();
    return `${window.get_title()} ${r.x} ${r.y} ${r.width} ${r.height} ${window.is_client_decorated() ? 'csd' : 'ssd'} ${window.get_client_type() === Meta.WindowClientType.WAYLAND ? 'wayland' : 'x11'}`;
}

class Probe {
    async CallAsync([name, args], invocation) {
        try {
            const values = await this[name](...JSON.parse(args));
            invocation.return_value(new GLib.Variant('(s)', [JSON.stringify(values)]));
        } catch (e) {
            invocation.return_dbus_error('org.quorvant.tests.Probe.Failed', e.message);
        }
    }

    Ready() {
        return [!Main.layoutManager._startingUp && !Main.overview.visible];
    }

    Screenshot(x, y, width, height, path) {
        const stream = Gio.File.new_for_path(path).replace(null, false, Gio.FileCreateFlags.NONE, null);
        return new Promise((resolve, reject) => {
            new Shell.Screenshot().screenshot_area(x, y, width, height, stream, (shooter, result) => {
                try {
                    shooter.screenshot_area_finish(result);
                    stream.close(null);
                    resolve([]);
                } catch (e) {
                    reject(e);
                }
            });
        });
    }

    ActorAt(x, y) {
        // The actor a click there would reach: the topmost that takes input.
        let actor = global.stage.get_actor_at_pos(Clutter.PickMode.REACTIVE, x, y);
        for (let a = actor; a; a = a.get_parent()) {
            if (a instanceof Meta.WindowActor)
                return [`window ${a.meta_window.get_title()}`];
        }
        return [actor ? `actor ${actor.constructor.$gtype.name} ${actor.name ?? ''}` : 'none'];
    }

    Focus() {
        return [global.display.focus_window?.get_title() ?? ''];
    }

    Pointer() {
        return global.get_pointer().slice(0, 2);
    }

    Place(title, x, y, width, height) {
        const window = windowTitled(title);
        window?.move_resize_frame(true, x, y, width, height);
        return [];
    }

    Activate(title) {
        const window = windowTitled(title);
        window?.activate(global.get_current_time());
        return [];
    }

    Frames() {
        // Frames the Shell has put on screen so far.
        return [global.stage.get_frame_counter()];
    }

    Environment(name) {
        return [GLib.getenv(name) ?? ''];
    }

    Windows() {
        return [global.get_window_actors().map(a => describe(a.meta_window))];
    }
}

class Extension {
    enable() {
        // The overview that greets a new session would cover the windows.
        this._startup = Main.layoutManager.connect('startup-complete', () => Main.overview.hide());
        if (!Main.layoutManager._startingUp)
            Main.overview.hide();
        this._dbus = Gio.DBusExportedObject.wrapJSObject(INTERFACE, new Probe());
        this._dbus.export(Gio.DBus.session, '/org/quorvant/tests/Probe');
        this._name = Gio.bus_own_name_on_connection(Gio.DBus.session, 'org.quorvant.tests.Probe',
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    disable() {
        Main.layoutManager.disconnect(this._startup);
        Gio.bus_unown_name(this._name);
        this._dbus.unexport();
    }
}

function init() {
    return new Extension();
}
