// The entry for GNOME Shell 45 and later, which load extensions as ES
// modules. GNOME Shell 43 and 44 find the directory extension/ first and run
// its __init__.js instead.

import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

import {EffectsService} from './drawing.js';

export default class QuorvantExtension extends Extension {
    enable() {
        this._service = new EffectsService(Main);
        this._service.enable();
    }

    disable() {
        this._service.disable();
        this._service = null;
    }
}
