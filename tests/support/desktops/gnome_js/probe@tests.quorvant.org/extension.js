// For the tests only: what the Shell knows and keeps to itself.
/* exported init */

const {Clutter, Gio, GLib, Meta, Shell} = imports.gi;
const Main = imports.ui.main;

const INTERFACE = `
<node>
  <interface name="org.quorvant.tests.Probe">
    <method name="Ready"><arg type="b" direction="out"/></method>
    <method name="Screenshot">
      <arg type="i" name="x" direction="in"/><arg type="i" name="y" direction="in"/>
      <arg type="i" name="width" direction="in"/><arg type="i" name="height" direction="in"/>
      <arg type="s" name="path" direction="in"/>
    </method>
    <method name="ActorAt">
      <arg type="i" name="x" direction="in"/><arg type="i" name="y" direction="in"/>
      <arg type="s" direction="out"/>
    </method>
    <method name="Focus"><arg type="s" direction="out"/></method>
    <method name="Pointer"><arg type="i" direction="out"/><arg type="i" direction="out"/></method>
    <method name="Place">
      <arg type="s" name="title" direction="in"/>
      <arg type="i" name="x" direction="in"/><arg type="i" name="y" direction="in"/>
      <arg type="i" name="width" direction="in"/><arg type="i" name="height" direction="in"/>
      <arg type="as" direction="out"/>
    </method>
    <method name="Activate"><arg type="s" name="title" direction="in"/><arg type="b" direction="out"/></method>
    <method name="Windows"><arg type="as" direction="out"/></method>
    <method name="Frames"><arg type="x" direction="out"/></method>
    <method name="Environment"><arg type="s" name="name" direction="in"/><arg type="s" direction="out"/></method>
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
    Ready() {
        return !Main.layoutManager._startingUp && !Main.overview.visible;
    }

    ScreenshotAsync([x, y, width, height, path], invocation) {
        const stream = Gio.File.new_for_path(path).replace(null, false, Gio.FileCreateFlags.NONE, null);
        new Shell.Screenshot().screenshot_area(x, y, width, height, stream, (shooter, result) => {
            try {
                shooter.screenshot_area_finish(result);
                stream.close(null);
                invocation.return_value(null);
            } catch (e) {
                invocation.return_dbus_error('org.quorvant.tests.Probe.Failed', e.message);
            }
        });
    }

    ActorAt(x, y) {
        // The actor a click there would reach: the topmost that takes input.
        let actor = global.stage.get_actor_at_pos(Clutter.PickMode.REACTIVE, x, y);
        for (let a = actor; a; a = a.get_parent()) {
            if (a instanceof Meta.WindowActor)
                return `window ${a.meta_window.get_title()}`;
        }
        return actor ? `actor ${actor.constructor.$gtype.name} ${actor.name ?? ''}` : 'none';
    }

    Focus() {
        return global.display.focus_window?.get_title() ?? '';
    }

    Pointer() {
        const [x, y] = global.get_pointer();
        return [x, y];
    }

    Place(title, x, y, width, height) {
        const window = windowTitled(title);
        if (!window)
            return [];
        window.move_resize_frame(true, x, y, width, height);
        return [describe(window)];
    }

    Activate(title) {
        const window = windowTitled(title);
        window?.activate(global.get_current_time());
        return !!window;
    }

    Frames() {
        // Frames the Shell has put on screen so far.
        return global.stage.get_frame_counter();
    }

    Environment(name) {
        return GLib.getenv(name) ?? '';
    }

    Windows() {
        return global.get_window_actors().map(a => describe(a.meta_window));
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
