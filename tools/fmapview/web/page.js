// The page around fmapview's WebAssembly: opens map files (picker, drop,
// ?map=NAME beside the page), refuses files too large to open, shows the
// viewer's texts and saves its pictures. Texts from the viewer or from a
// file only ever go into textContent.
"use strict";

var fmapviewPage = (function () {
  // Larger files are refused before they are read: decoding needs several
  // times a file's size, and the tab would run out of memory first.
  var largestFileBytes = 128 * 1024 * 1024;
  // ?map= opens only files beside the page: a plain name, no folder, no
  // other site.
  var servedName = /^[A-Za-z0-9_][A-Za-z0-9_.-]{0,127}$/;

  var info = document.getElementById("info");
  var help = document.getElementById("help");
  var drop = document.getElementById("drop");
  var picker = document.getElementById("file");
  var wasmReady = false;
  var pending = null;      // an open asked for before the viewer started
  var lastSource = null;   // {file} or {name}: what r reads again
  var lastPicture = null;  // {rgba, width, height} of the last capture
  var captureWaiters = [];

  var state = { ready: false, firstFrameAt: null, opened: 0 };

  function megabytes(bytes) {
    return (bytes / (1024 * 1024)).toFixed(1) + " MiB";
  }

  function refuse(name, reason) {
    withViewer(function () {
      Module.ccall("fmapviewRefuse", null, ["string", "string"], [name, reason]);
    });
  }

  function withViewer(action) {
    if (wasmReady) action();
    else pending = action;
  }

  function openBytes(name, buffer) {
    withViewer(function () {
      var bytes = new Uint8Array(buffer);
      var address = Module._malloc(Math.max(bytes.length, 1));
      if (!address) {
        refuse(name, "out of memory (error 1)");
        return;
      }
      HEAPU8.set(bytes, address);
      Module.ccall("fmapviewOpen", "number", ["number", "number", "string"], [address, bytes.length, name]);
      Module._free(address);
      state.opened++;
    });
  }

  function tooLarge(name, size) {
    if (size <= largestFileBytes) return false;
    refuse(name, "the file is " + megabytes(size) + "; this page opens map files up to " +
      megabytes(largestFileBytes));
    return true;
  }

  function openFile(file) {
    lastSource = { file: file };
    if (tooLarge(file.name, file.size)) return;
    file.arrayBuffer().then(function (buffer) {
      openBytes(file.name, buffer);
    }, function () {
      refuse(file.name, "file could not be opened (error 3)");
    });
  }

  // Reads a response body, giving up as soon as it grows past the limit
  // (a server need not say the length).
  function readLimited(name, response) {
    var length = Number(response.headers.get("Content-Length"));
    if (length && tooLarge(name, length)) return Promise.resolve(null);
    if (!response.body) return response.arrayBuffer();
    var reader = response.body.getReader();
    var parts = [];
    var total = 0;
    function next() {
      return reader.read().then(function (chunk) {
        if (chunk.done) {
          var whole = new Uint8Array(total);
          var at = 0;
          parts.forEach(function (part) { whole.set(part, at); at += part.length; });
          return whole.buffer;
        }
        total += chunk.value.length;
        if (tooLarge(name, total)) {
          reader.cancel();
          return null;
        }
        parts.push(chunk.value);
        return next();
      });
    }
    return next();
  }

  function openServed(name) {
    lastSource = { name: name };
    if (!servedName.test(name) || name.indexOf("..") >= 0) {
      refuse(name, "only files beside this page can be opened by name");
      return;
    }
    fetch(encodeURIComponent(name), { cache: "no-cache" }).then(function (response) {
      if (!response.ok) {
        refuse(name, "file could not be opened (error 3): HTTP " + response.status);
        return null;
      }
      return readLimited(name, response);
    }).then(function (buffer) {
      if (buffer) openBytes(name, buffer);
    }, function () {
      refuse(name, "file could not be opened (error 3)");
    });
  }

  function openFromAddress() {
    var name = new URLSearchParams(window.location.search).get("map");
    if (name !== null) openServed(name);
  }

  picker.addEventListener("change", function () {
    if (picker.files.length > 0) openFile(picker.files[0]);
    picker.value = "";
    picker.blur();
  });

  ["example-test2a", "example-vorla"].forEach(function (id) {
    var link = document.getElementById(id);
    link.addEventListener("click", function (event) {
      event.preventDefault();
      window.history.pushState(null, "", link.getAttribute("href"));
      openFromAddress();
    });
  });
  window.addEventListener("popstate", openFromAddress);

  var dragDepth = 0;
  window.addEventListener("dragenter", function (event) {
    event.preventDefault();
    dragDepth++;
    drop.hidden = false;
  });
  window.addEventListener("dragleave", function () {
    dragDepth = Math.max(0, dragDepth - 1);
    if (dragDepth === 0) drop.hidden = true;
  });
  window.addEventListener("dragover", function (event) { event.preventDefault(); });
  window.addEventListener("drop", function (event) {
    event.preventDefault();
    dragDepth = 0;
    drop.hidden = true;
    var files = event.dataTransfer && event.dataTransfer.files;
    if (files && files.length > 0) openFile(files[0]);
  });

  // ---- called by the viewer

  function ready() {
    wasmReady = true;
    state.ready = true;
    if (pending) {
      var action = pending;
      pending = null;
      action();
    }
  }

  function firstFrame() {
    state.firstFrameAt = performance.now();
  }

  function showInfo(text, kind) {
    info.textContent = text;
    info.className = kind === 2 ? "failure" : kind === 1 ? "notice" : "";
  }

  function showHelp(text, shown) {
    help.textContent = text;
    help.hidden = !shown;
  }

  function captured(rgba, width, height) {
    lastPicture = { rgba: rgba, width: width, height: height };
    var waiters = captureWaiters;
    captureWaiters = [];
    waiters.forEach(function (resolve) { resolve(lastPicture); });
  }

  function savePicture(name) {
    if (!lastPicture) return;
    var canvas = document.createElement("canvas");
    canvas.width = lastPicture.width;
    canvas.height = lastPicture.height;
    var pixels = new ImageData(new Uint8ClampedArray(lastPicture.rgba.buffer), lastPicture.width,
      lastPicture.height);
    canvas.getContext("2d").putImageData(pixels, 0, 0);
    canvas.toBlob(function (blob) {
      var link = document.createElement("a");
      link.download = name;
      link.href = URL.createObjectURL(blob);
      link.click();
      setTimeout(function () { URL.revokeObjectURL(link.href); }, 10000);
    }, "image/png");
  }

  function reload() {
    if (!lastSource) return;
    if (lastSource.file) openFile(lastSource.file);
    else openServed(lastSource.name);
  }

  // The next frame's pixels: {rgba (top row first), width, height}.
  function capture() {
    return new Promise(function (resolve) {
      captureWaiters.push(resolve);
      Module.ccall("fmapviewCapture", null, [], []);
    });
  }

  openFromAddress();

  return {
    state: state, ready: ready, firstFrame: firstFrame, showInfo: showInfo, showHelp: showHelp,
    captured: captured, savePicture: savePicture, reload: reload, capture: capture
  };
})();

var Module = {
  canvas: document.getElementById("canvas"),
  print: function (text) { console.log(text); },
  printErr: function (text) { console.warn(text); }
};
