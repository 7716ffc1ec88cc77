// What Quorvant draws inside GNOME Shell: the laser dot, the spotlight, the
// magnifier and the mode notice. Both entries (extension.js for the Shell's
// ES modules, extension/__init__.js for its older module format) run this.
//
// The Shell offers ordinary programs neither the pointer's position nor
// windows above everything that let input through; actors on its own stage
// have both. The effect programs still decide what shows: an effect is drawn
// while the program that asked for it is on the bus, and at the size it
// hands over. Nothing here runs while no effect and no notice is up.

import Cairo from 'cairo';
import Clutter from 'gi://Clutter';
import Cogl from 'gi://Cogl';
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import GObject from 'gi://GObject';
import Meta from 'gi://Meta';
import Shell from 'gi://Shell';
import St from 'gi://St';

export const BUS_NAME = 'org.quorvant.Effects';
export const OBJECT_PATH = '/org/quorvant/Effects';

const INTERFACE = `
<node>
  <interface name="org.quorvant.Effects">
    <!-- effect: "dot", "spotlight" or "lens"; pixels: the dot's diameter,
         the spotlight's radius or the lens's diameter; zoom: how many
         times the lens enlarges. The effect lasts until its caller hides
         it or leaves the bus. -->
    <method name="Show">
      <arg type="s" name="effect" direction="in"/>
      <arg type="i" name="pixels" direction="in"/>
      <arg type="i" name="zoom" direction="in"/>
    </method>
    <method name="SetSize">
      <arg type="i" name="pixels" direction="in"/>
    </method>
    <method name="Hide"/>
    <method name="ShowNotice">
      <arg type="s" name="text" direction="in"/>
      <arg type="i" name="milliseconds" direction="in"/>
    </method>
  </interface>
</node>`;

const MAX_PIXELS = 4096;
const MAX_ZOOM = 16;
const NOTICE_WIDTH = 300;
const NOTICE_HEIGHT = 100;
const NOTICE_TOP = 200;

// Where a square of `side` pixels centred on `centre` starts, kept within
// [low, low + length) where it fits, centred where it does not.
function keptInside(centre, side, low, length) {
    if (side >= length)
        return low + Math.trunc((length - side) / 2);
    const start = centre - Math.trunc(side / 2);
    return Math.min(Math.max(start, low), low + length - side);
}

// The monitor holding (x, y), else the nearest.
function monitorAt(monitors, x, y) {
    let best = monitors[0];
    let bestDistance = Infinity;
    for (const m of monitors) {
        const dx = x < m.x ? m.x - x : Math.max(0, x - (m.x + m.width - 1));
        const dy = y < m.y ? m.y - y : Math.max(0, y - (m.y + m.height - 1));
        if (dx * dx + dy * dy < bestDistance) {
            best = m;
            bestDistance = dx * dx + dy * dy;
        }
    }
    return best;
}

function cursorTracker() {
    return global.backend?.get_cursor_tracker?.() ??
        Meta.CursorTracker.get_for_display(global.display);
}

function paintWith(area, paint) {
    const cr = area.get_context();
    try {
        paint(cr);
    } finally {
        cr.$dispose();
    }
}

// The laser pointer: a red dot with a soft glow, `pixels` the diameter of its
// bright core.
class Dot {
    constructor(stage, pixels) {
        this._area = new St.DrawingArea();
        this._area.connect('repaint', area => paintWith(area, cr => this._paint(cr)));
        stage.add_child(this._area);
        this.resize(pixels);
    }

    resize(pixels) {
        this._pixels = pixels;
        this._side = 2 * pixels + 4;
        this._area.set_size(this._side, this._side);
        this._area.queue_repaint();
    }

    place(x, y) {
        this._area.set_position(x - this._side / 2, y - this._side / 2);
    }

    destroy() {
        this._area.destroy();
    }

    _paint(cr) {
        const centre = this._side / 2 + 0.5;
        const light = new Cairo.RadialGradient(centre, centre, 0, centre, centre, this._pixels);
        light.addColorStopRGBA(0.0, 1, 110 / 255, 110 / 255, 1);
        light.addColorStopRGBA(0.2, 1, 30 / 255, 30 / 255, 1);
        light.addColorStopRGBA(0.5, 235 / 255, 0, 0, 1);
        light.addColorStopRGBA(0.56, 1, 0, 0, 150 / 255);
        light.addColorStopRGBA(1.0, 1, 0, 0, 0);
        cr.setSource(light);
        cr.arc(centre, centre, this._pixels, 0, 2 * Math.PI);
        cr.fill();
    }
}

// The spotlight: every monitor under a 40 % black veil but for a clear circle
// of radius `pixels` on the pointer, outlined in white. The veil is four
// plain rectangles around one square that holds the circle, so a move only
// moves actors; the square is painted again only when the size changes.
class Spotlight {
    static VEIL = 'background-color: rgba(0, 0, 0, 0.4);';
    static MARGIN = 2;

    constructor(stage, pixels) {
        this._stage = stage;
        this._bands = [0, 1, 2, 3].map(() => new St.Widget({style: Spotlight.VEIL}));
        this._bands.forEach(band => stage.add_child(band));
        this._round = new St.DrawingArea();
        this._round.connect('repaint', area => paintWith(area, cr => this._paint(cr)));
        stage.add_child(this._round);
        this.resize(pixels);
    }

    resize(pixels) {
        this._radius = pixels;
        this._side = 2 * pixels + 2 * Spotlight.MARGIN;
        this._round.set_size(this._side, this._side);
        this._round.queue_repaint();
    }

    place(x, y, monitor) {
        const diameter = 2 * this._radius;
        const left = keptInside(x, diameter, monitor.x, monitor.width) - Spotlight.MARGIN;
        const top = keptInside(y, diameter, monitor.y, monitor.height) - Spotlight.MARGIN;
        const right = left + this._side;
        const bottom = top + this._side;
        const [width, height] = this._stage.get_size();
        const bands = [
            [0, 0, width, top],
            [0, bottom, width, height - bottom],
            [0, top, left, this._side],
            [right, top, width - right, this._side],
        ];
        bands.forEach(([bx, by, bw, bh], i) => {
            this._bands[i].set_position(bx, by);
            this._bands[i].set_size(Math.max(0, bw), Math.max(0, bh));
        });
        this._round.set_position(left, top);
    }

    destroy() {
        this._bands.forEach(band => band.destroy());
        this._round.destroy();
    }

    _paint(cr) {
        const centre = this._side / 2;
        cr.setOperator(Cairo.Operator.SOURCE);
        cr.setSourceRGBA(0, 0, 0, 0.4);
        cr.paint();
        cr.setOperator(Cairo.Operator.CLEAR);
        cr.arc(centre, centre, this._radius, 0, 2 * Math.PI);
        cr.fill();
        cr.setOperator(Cairo.Operator.OVER);
        cr.setSourceRGBA(1, 1, 1, 1);
        cr.setLineWidth(1);
        cr.arc(centre, centre, this._radius - 0.5, 0, 2 * Math.PI);
        cr.stroke();
    }
}

// Cuts the lens round and gives it a dark rim 2 pixels wide.
const RoundLens = GObject.registerClass({GTypeName: 'QuorvantRoundLens'},
    class RoundLens extends Shell.GLSLEffect {
        _init(params) {
            super._init(params);
            this._diameter = this.get_uniform_location('diameter');
        }

        vfunc_build_pipeline() {
            // The Shell's own hook names left for Cogl's, with the same values.
            const hooks = Shell.SnippetHook ?? Cogl.SnippetHook;
            this.add_glsl_snippet(hooks.FRAGMENT, 'uniform float diameter;', `
                float radius = diameter * 0.5;
                float d = length(cogl_tex_coord_in[0].xy - vec2(0.5)) * diameter;
                float rim = clamp(d - (radius - 2.0), 0.0, 1.0);
                vec4 rimColour = vec4(40.0 / 255.0, 40.0 / 255.0, 40.0 / 255.0, 1.0);
                cogl_color_out = mix(cogl_color_out, rimColour, rim) * clamp(radius - d, 0.0, 1.0);
            `, false);
        }

        setDiameter(pixels) {
            this.set_uniform_float(this._diameter, 1, [pixels]);
        }
    });

// The magnifier: a round lens of diameter `pixels` on the pointer, showing
// the monitor around the pointer `zoom` times larger, live. It shows a clone
// of the Shell's whole interface; the effects sit on the stage above that,
// so the lens never shows itself.
class Lens {
    constructor(stage, source, pixels, zoom) {
        this._zoom = zoom;
        this._box = new Clutter.Actor({clip_to_allocation: true});
        this._clone = new Clutter.Clone({source});
        this._box.add_child(this._clone);
        this._round = new RoundLens();
        this._box.add_effect(this._round);
        stage.add_child(this._box);
        this.resize(pixels);
    }

    resize(pixels) {
        this._diameter = pixels;
        this._box.set_size(pixels, pixels);
        this._round.setDiameter(pixels);
    }

    place(x, y, monitor) {
        const d = this._diameter;
        const seen = Math.max(1, Math.trunc(d / this._zoom));
        const scale = d / seen;
        const seenX = keptInside(x, seen, monitor.x, monitor.width);
        const seenY = keptInside(y, seen, monitor.y, monitor.height);
        this._box.set_position(keptInside(x, d, monitor.x, monitor.width),
            keptInside(y, d, monitor.y, monitor.height));
        this._clone.set_scale(scale, scale);
        this._clone.set_position(-seenX * scale, -seenY * scale);
    }

    destroy() {
        this._box.destroy();
    }
}

// The mode notice: its text in red bold on a pale half-transparent card,
// 300 by 100 pixels, centred 200 pixels below the top of the pointer's
// monitor.
class Notice {
    constructor(stage) {
        this._label = new St.Label({
            style: 'color: red; font-weight: bold; font-size: 16pt; font-family: "Microsoft YaHei", sans-serif;',
            x_align: Clutter.ActorAlign.CENTER,
            y_align: Clutter.ActorAlign.CENTER,
            x_expand: true,
            y_expand: true,
        });
        this._card = new St.Bin({
            style: 'background-color: #efefef;',
            width: NOTICE_WIDTH,
            height: NOTICE_HEIGHT,
            opacity: 128,
            child: this._label,
        });
        stage.add_child(this._card);
    }

    show(text, monitor) {
        this._label.text = text;
        this._card.set_position(monitor.x + Math.trunc(monitor.width / 2) - NOTICE_WIDTH / 2,
            monitor.y + NOTICE_TOP);
        // Above an effect that came up since.
        this._card.get_parent().set_child_above_sibling(this._card, null);
    }

    destroy() {
        this._card.destroy();
    }
}

export class EffectsService {
    // `layoutManager` tells of the monitors; `uiGroup` is what the lens
    // enlarges: everything the Shell shows.
    constructor({layoutManager, uiGroup}) {
        this._layout = layoutManager;
        this._uiGroup = uiGroup;
        this._effect = null;
        this._owner = null;
        this._notice = null;
        this._noticeTimeout = 0;
    }

    enable() {
        this._dbus = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this);
        this._dbus.export(Gio.DBus.session, OBJECT_PATH);
        this._name = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    disable() {
        this._stopEffect();
        this._hideNotice();
        Gio.bus_unown_name(this._name);
        this._dbus.unexport();
        this._dbus = null;
    }

    ShowAsync([effect, pixels, zoom], invocation) {
        if (!this._validSize(pixels, invocation))
            return;
        if (zoom < 1 || zoom > MAX_ZOOM) {
            invocation.return_dbus_error('org.freedesktop.DBus.Error.InvalidArgs', `zoom ${zoom}`);
            return;
        }
        const stage = global.stage;
        let drawing;
        if (effect === 'dot')
            drawing = () => new Dot(stage, pixels);
        else if (effect === 'spotlight')
            drawing = () => new Spotlight(stage, pixels);
        else if (effect === 'lens')
            drawing = () => new Lens(stage, this._uiGroup, pixels, zoom);
        else {
            invocation.return_dbus_error('org.freedesktop.DBus.Error.InvalidArgs', `effect "${effect}"`);
            return;
        }
        this._stopEffect();
        this._effect = drawing();
        this._owner = invocation.get_sender();
        this._ownerWatch = Gio.bus_watch_name_on_connection(Gio.DBus.session, this._owner,
            Gio.BusNameWatcherFlags.NONE, null, () => this._stopEffect());
        this._follow();
        this._place();
        invocation.return_value(null);
    }

    // Only the effect's own program changes or ends it: a program being
    // stopped may still speak after the next one started.
    SetSizeAsync([pixels], invocation) {
        if (!this._validSize(pixels, invocation))
            return;
        if (this._effect && invocation.get_sender() === this._owner) {
            this._effect.resize(pixels);
            this._place();
        }
        invocation.return_value(null);
    }

    HideAsync(_params, invocation) {
        if (invocation.get_sender() === this._owner)
            this._stopEffect();
        invocation.return_value(null);
    }

    ShowNoticeAsync([text, milliseconds], invocation) {
        if (milliseconds < 0 || milliseconds > 60000) {
            invocation.return_dbus_error('org.freedesktop.DBus.Error.InvalidArgs', `${milliseconds} ms`);
            return;
        }
        this._notice ??= new Notice(global.stage);
        const [x, y] = global.get_pointer();
        this._notice.show(text, monitorAt(this._layout.monitors, x, y));
        if (this._noticeTimeout)
            GLib.source_remove(this._noticeTimeout);
        this._noticeTimeout = GLib.timeout_add(GLib.PRIORITY_DEFAULT, milliseconds, () => {
            this._noticeTimeout = 0;
            this._hideNotice();
            return GLib.SOURCE_REMOVE;
        });
        invocation.return_value(null);
    }

    _validSize(pixels, invocation) {
        if (pixels >= 1 && pixels <= MAX_PIXELS)
            return true;
        invocation.return_dbus_error('org.freedesktop.DBus.Error.InvalidArgs', `${pixels} pixels`);
        return false;
    }

    _follow() {
        this._tracker = cursorTracker();
        this._moved = this._tracker.connect('position-invalidated', () => this._place());
        this._monitorsChanged = this._layout.connect('monitors-changed', () => this._place());
    }

    _place() {
        const [x, y] = global.get_pointer();
        this._effect.place(x, y, monitorAt(this._layout.monitors, x, y));
    }

    _stopEffect() {
        if (!this._effect)
            return;
        this._tracker.disconnect(this._moved);
        this._tracker = null;
        this._layout.disconnect(this._monitorsChanged);
        Gio.bus_unwatch_name(this._ownerWatch);
        this._effect.destroy();
        this._effect = null;
        this._owner = null;
    }

    _hideNotice() {
        if (this._noticeTimeout)
            GLib.source_remove(this._noticeTimeout);
        this._noticeTimeout = 0;
        this._notice?.destroy();
        this._notice = null;
    }
}
