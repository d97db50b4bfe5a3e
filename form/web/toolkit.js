// The page side of the web toolkit (form/web/toolkit_web.cpp calls it): the
// form's elements, Tab and focus as on the desktop, the modal warning, the
// busy state while a key is derived, and the end of the program.
var Toolkit = {
  form: null,
  controls: [],   // the elements, by control index
  tabIndex: [],   // each control's place in the tab order
  changed: [],    // text boxes typed into since the program last read them
  running: false, // a handler is running, or waits for a warning to close
  busy: false,
  dialog: null,

  // UTF-16 code units from the program's memory, exactly as they are.
  text(address, size) {
    var units = HEAPU16.subarray(address >> 1, (address >> 1) + size), out = '';
    for (var i = 0; i < size; i += 8192)
      out += String.fromCharCode.apply(null, units.subarray(i, i + 8192));
    return out;
  },

  readText(control, address) {
    var value = this.controls[control].value;
    for (var i = 0; i < value.length; ++i)
      HEAPU16[(address >> 1) + i] = value.charCodeAt(i);
  },

  takeChange(control) {
    var changed = this.changed[control];
    this.changed[control] = false;
    return changed ? 1 : 0;
  },

  font(element, family, points, bold) {
    element.style.fontFamily = family;
    element.style.fontSize = points + 'pt';
    element.style.fontWeight = bold ? '700' : '400';
  },

  createForm(title, width, height, family, points, bold) {
    document.title = title;
    var form = this.form = document.createElement('main');
    form.id = 'Form1';
    form.style.width = width + 'px';
    form.style.height = height + 'px';
    this.font(form, family, points, bold);
    form.style.visibility = 'hidden';  // laid out, not yet shown
    document.body.appendChild(form);
    // One column where the viewport is narrower than the form.
    var narrow = matchMedia('(max-width: ' + (width - 0.02) + 'px)');
    var layout = function () { form.classList.toggle('narrow', narrow.matches); };
    narrow.addEventListener('change', layout);
    layout();
    this.createDialog(family);
    this.listen();
  },

  addControl(name, kind, caption, left, top, width, height, tabIndex, family, points, bold, color, labelledBy,
             accessibleName) {
    var index = this.controls.length, element;
    if (kind == 0) {
      element = document.createElement('div');
      element.textContent = caption;
      element.className = 'label';
    } else if (kind == 1) {
      element = document.createElement('input');
      element.type = 'text';
      element.value = caption;
      // The comparison is exact: nothing may change what the user types.
      element.autocomplete = 'off';
      element.setAttribute('autocorrect', 'off');
      element.autocapitalize = 'off';
      element.spellcheck = false;
      if (labelledBy)
        element.setAttribute('aria-labelledby', labelledBy);
      else
        element.setAttribute('aria-label', accessibleName);
      element.addEventListener('input', function () { Toolkit.changed[index] = true; });
    } else {
      element = document.createElement('button');
      element.type = 'button';
      element.textContent = caption;
      element.addEventListener('click', function () { Toolkit.clicked(index); });
    }
    element.id = name;
    element.style.left = left + 'px';
    element.style.top = top + 'px';
    element.style.width = width + 'px';
    element.style.height = height + 'px';
    this.font(element, family, points, bold);
    if (color >= 0)
      element.style.color = '#' + color.toString(16).padStart(6, '0');
    this.form.appendChild(element);
    this.controls.push(element);
    this.tabIndex.push(kind == 0 ? -1 : tabIndex);
    this.changed.push(false);
  },

  canFocus(element) {
    return element.isConnected && !element.hidden && !element.disabled && element.tagName != 'DIV';
  },

  // The control after (step 1) or before (step -1) the given one in tab
  // order that can take the focus, round the end; null if there is none.
  next(from, step) {
    var order = this.controls.map(function (e, i) { return i; })
      .filter(function (i) { return Toolkit.tabIndex[i] >= 0; })
      .sort(function (a, b) { return Toolkit.tabIndex[a] - Toolkit.tabIndex[b]; });
    var at = order.indexOf(this.controls.indexOf(from)), n = order.length;
    if (at < 0)
      at = step > 0 ? -1 : 0;  // from outside the form: the first or the last
    for (var k = 1; k <= n; ++k) {
      var element = this.controls[order[((at + step * k) % n + n) % n]];
      if (this.canFocus(element))
        return element;
    }
    return null;
  },

  setVisible(control, visible) {
    this.keepFocusOn(this.controls[control], element => { element.hidden = !visible; });
  },

  setEnabled(control, enabled) {
    this.keepFocusOn(this.controls[control], element => { element.disabled = !enabled; });
  },

  // Changes the element; if that takes the focus from it (hidden or
  // disabled), the focus moves on in tab order.
  keepFocusOn(element, change) {
    var hadFocus = document.activeElement == element;
    change(element);
    if (hadFocus && !this.canFocus(element)) {
      var next = this.next(element, 1);
      if (next)
        next.focus();
    }
  },

  show() {
    this.form.style.visibility = '';
    var first = this.next(null, 1);
    if (first)
      first.focus();
    // Once the page is idle, a sealed roster's key derivation is made ready
    // (its memory taken and touched, its code warm), so that the first
    // 确  定 takes no longer than later ones. A click first does it itself.
    (window.requestIdleCallback || setTimeout)(function () {
      if (!Toolkit.running && !Toolkit.ended)
        Module.ccall('tk_prepare', null, [], []);
      Toolkit.prepared = true;
    });
  },

  // Runs the button's handler, one at a time: while one runs (a warning
  // open, a key being derived) no other starts.
  clicked(index) {
    if (this.running)
      return;
    this.running = true;
    var done = function () { Toolkit.running = false; };
    try {
      Module.ccall('tk_clicked', null, ['number'], [index], { async: true }).then(done, done);
    } catch (e) {
      done();
      if (!this.ended)
        throw e;
    }
  },

  listen() {
    // Tab moves through the controls in tab order, round the end, as in the
    // desktop window; Enter and Esc start nothing.
    document.addEventListener('keydown', function (event) {
      if (Toolkit.busy) {
        event.preventDefault();
        event.stopPropagation();
        return;
      }
      if (Toolkit.dialog.open || event.altKey || event.ctrlKey || event.metaKey)
        return;
      if (event.key == 'Tab') {
        event.preventDefault();
        var next = Toolkit.next(document.activeElement, event.shiftKey ? -1 : 1);
        if (next)
          next.focus();
      } else if (event.key == 'Enter' && event.target.tagName == 'BUTTON') {
        event.preventDefault();
      }
    }, true);
    // While a key is derived the page takes no input: it is the desktop's
    // busy handler, whose events wait until it ends.
    ['beforeinput', 'paste', 'mousedown', 'click', 'touchstart'].forEach(function (type) {
      document.addEventListener(type, function (event) {
        if (Toolkit.busy) {
          event.preventDefault();
          event.stopPropagation();
        }
      }, true);
    });
  },

  createDialog(family) {
    var dialog = this.dialog = document.createElement('dialog');
    dialog.id = 'message';
    dialog.setAttribute('role', 'alertdialog');
    dialog.setAttribute('aria-labelledby', 'message-title');
    dialog.setAttribute('aria-describedby', 'message-prompt');
    dialog.style.fontFamily = family;
    var title = document.createElement('h2'), prompt = document.createElement('p'),
      ok = document.createElement('button');
    title.id = 'message-title';
    prompt.id = 'message-prompt';
    ok.id = 'message-ok';
    ok.type = 'button';
    ok.textContent = '确定';
    ok.addEventListener('click', function () { dialog.close(); });
    dialog.append(title, prompt, ok);
    document.body.appendChild(dialog);
  },

  // The warning: modal, so nothing else on the page takes input until it
  // closes (its button, Enter or Esc); then the browser puts the focus back
  // where it was.
  message(prompt, title, critical) {
    var dialog = this.dialog;
    dialog.querySelector('h2').textContent = title;
    dialog.querySelector('p').textContent = prompt;
    dialog.classList.toggle('critical', !!critical);
    return new Promise(function (resolve) {
      dialog.addEventListener('close', resolve, { once: true });
      dialog.showModal();
      dialog.querySelector('button').focus();
    });
  },

  // Shows the busy cursor, and lets the page draw it before the work starts.
  setBusy(busy) {
    this.busy = busy;
    document.documentElement.classList.toggle('busy', busy);
    this.form.setAttribute('aria-busy', busy ? 'true' : 'false');
    if (!busy)
      return;
    return new Promise(function (resolve) {
      // A hidden page draws no frames: then the timer goes on alone.
      var timer = setTimeout(resolve, 100);
      requestAnimationFrame(function () { setTimeout(function () { clearTimeout(timer); resolve(); }, 0); });
    });
  },

  // The program has ended (End, a run-time error after its report, or a
  // fault): the form goes, and one line says so, with a link that starts it again.
  end() {
    this.ended = true;
    this.busy = false;
    document.documentElement.classList.remove('busy');
    if (this.dialog && this.dialog.open)
      this.dialog.close();
    document.body.textContent = '';
    var line = document.createElement('p'), again = document.createElement('a');
    line.id = 'ended';
    line.textContent = '程序已结束。';
    again.href = '';
    again.textContent = '重新运行';
    line.appendChild(again);
    document.body.appendChild(line);
  },
};

Module.onExit = function () { Toolkit.end(); };
Module.onAbort = function () { Toolkit.end(); };

// The program's WebAssembly is part of the page, base64 in an inert
// element, so the page fetches nothing, not even from itself. The page
// carries two builds and runs the script of the one this browser takes
// (varnholtSimd, page.html); this is that build's WebAssembly.
Toolkit.simd = varnholtSimd;
Module.wasmBinary = (function () {
  var element = document.getElementById(Toolkit.simd ? 'program-simd' : 'program');
  var text = atob(element.textContent), bytes = new Uint8Array(text.length);
  for (var i = 0; i < text.length; ++i)
    bytes[i] = text.charCodeAt(i);
  return bytes;
})();
