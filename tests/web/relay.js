// Test-only: a WebSocket server that joins each connection to the
// pseudo-terminal named by its path (ws://host:port/dev/pts/N), byte for
// byte both ways, as a USB serial adapter joins the page to a board.
'use strict';
const fs = require('node:fs');
const tty = require('node:tty');
const {WebSocketServer} = require('ws');

function startRelay() {
  return new Promise((resolve) => {
    const server = new WebSocketServer({host: '127.0.0.1', port: 0});
    server.on('connection', (socket, request) => {
      const device = decodeURIComponent(new URL(request.url, 'ws://relay').pathname);
      let fd;
      try {
        fd = fs.openSync(device, fs.constants.O_RDWR | fs.constants.O_NOCTTY);
      } catch (e) {
        socket.close(1011, e.code);
        return;
      }
      const input = new tty.ReadStream(fd);
      input.setRawMode(true);
      input.on('data', (chunk) => socket.send(chunk));
      const hangUp = () => socket.close();
      input.on('error', hangUp);
      input.on('end', hangUp);
      socket.on('message', (data) => {
        try {
          fs.writeSync(fd, Buffer.from(data));
        } catch (e) {
          socket.close();
        }
      });
      socket.on('close', () => input.destroy());
    });
    server.on('listening', () => {
      resolve({
        url: (device) => `ws://127.0.0.1:${server.address().port}${device}`,
        close: () => new Promise((done) => {
          for (const client of server.clients) client.terminate();
          server.close(done);
        }),
      });
    });
  });
}

module.exports = {startRelay};
