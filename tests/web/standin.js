// A test-only navigator.serial, injected before the page's scripts: its
// ports are SerialPort look-alikes whose streams relay over a WebSocket to a
// virtual board's pseudo-terminal (relay.js). The test steers it through
// window.__serialStandIn: which ports the browser remembers as granted, the
// port the next "Choose port…" picks, and unplugging.
(function () {
  'use strict';
  function lostError() {
    return new DOMException('The device has been lost.', 'NetworkError');
  }

  class StandInPort extends EventTarget {
    constructor(url) {
      super();
      this.url = url;
      this.readable = null;
      this.writable = null;
      this.socket = null;
    }

    getInfo() {
      return {usbVendorId: 0x0403, usbProductId: 0x6001};
    }

    async open(options) {
      if (this.socket) {
        throw new DOMException('The port is already open.', 'InvalidStateError');
      }
      if (!options || options.baudRate !== 9600) {
        throw new TypeError('unexpected options ' + JSON.stringify(options));
      }
      const socket = new WebSocket(this.url);
      socket.binaryType = 'arraybuffer';
      await new Promise((resolve, reject) => {
        socket.onopen = resolve;
        socket.onerror = () => reject(new DOMException('Failed to open serial port.', 'NetworkError'));
      });
      this.socket = socket;
      this.readable = new ReadableStream({
        start(controller) {
          socket.onmessage = (event) => {
            lastArrival = performance.now();
            controller.enqueue(new Uint8Array(event.data));
          };
          socket.onclose = () => {
            try { controller.error(lostError()); } catch (e) { /* already ended */ }
          };
        },
        cancel() { socket.onmessage = null; },
      });
      this.writable = new WritableStream({
        write(chunk) {
          if (socket.readyState !== WebSocket.OPEN) throw lostError();
          if (lastArrival !== null) {
            turnarounds.push(performance.now() - lastArrival);
            lastArrival = null;
          }
          socket.send(chunk);
        },
      });
    }

    async close() {
      if (this.socket) {
        this.socket.onclose = null;
        this.socket.close();
      }
      this.socket = null;
      this.readable = null;
      this.writable = null;
    }
  }

  // The page's own share of each reply's turnaround: from the bytes'
  // arrival at the port to the page's next write (for the benchmark).
  const turnarounds = [];
  let lastArrival = null;
  const serial = new EventTarget();
  let granted = [];
  let offered = [];
  serial.getPorts = async () => granted.slice();
  serial.requestPort = async () => {
    if (!offered.length) throw new DOMException('No port selected by the user.', 'NotFoundError');
    const port = offered.shift();
    granted.push(port);
    return port;
  };
  Object.defineProperty(navigator, 'serial', {value: serial, configurable: true});

  window.__serialStandIn = {
    turnarounds,
    grant(url) { granted.push(new StandInPort(url)); },
    offer(url) { offered.push(new StandInPort(url)); },
    // The adapter pulled: gone from the list, its streams end, and the
    // page hears of it.
    unplugAll() {
      const gone = granted;
      granted = [];
      for (const port of gone) {
        if (port.socket) port.socket.close();
        const event = new Event('disconnect');
        port.dispatchEvent(event);
        serial.dispatchEvent(Object.defineProperty(new Event('disconnect'), 'target',
                                                   {value: port}));
      }
    },
  };
})();
