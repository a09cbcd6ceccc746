// The connection to Carvo's feed (/feed), shared by the display and the control page: it
// reconnects by itself and keeps an estimate of the server's clock.

const maxOffsets = 40;

export class FeedConnection {
  // onMessage(message, receivedAt) for each message; onConnected(bool) when the link changes.
  constructor(onMessage, onConnected) {
    this.onMessage = onMessage;
    this.onConnected = onConnected;
    this.socket = null;
    this.retryMs = 500;
    this.offsets = []; // page clock minus server clock, per message
    this.offset = null;
  }

  connect() {
    const url = `${location.protocol === "https:" ? "wss" : "ws"}://${location.host}/feed`;
    const socket = new WebSocket(url);
    this.socket = socket;
    socket.onopen = () => {
      this.retryMs = 500;
      this.onConnected(true);
    };
    socket.onmessage = (event) => {
      const receivedAt = FeedConnection.pageNow();
      let message;
      try {
        message = JSON.parse(event.data);
      } catch {
        return;
      }
      if (typeof message.serverTime === "number") this.learnOffset(receivedAt - message.serverTime);
      this.onMessage(message, receivedAt);
    };
    socket.onclose = () => {
      if (this.socket !== socket) return;
      this.socket = null;
      this.onConnected(false);
      setTimeout(() => this.connect(), this.retryMs);
      this.retryMs = Math.min(this.retryMs * 2, 3000);
    };
  }

  send(object) {
    if (this.socket && this.socket.readyState === WebSocket.OPEN) {
      this.socket.send(JSON.stringify(object));
      return true;
    }
    return false;
  }

  // The smallest recent difference is the best guess of the clocks' offset: it is the one the
  // network delayed least.
  learnOffset(difference) {
    this.offsets.push(difference);
    if (this.offsets.length > maxOffsets) this.offsets.shift();
    this.offset = Math.min(...this.offsets);
  }

  // The server's clock now, in milliseconds since 1970.
  serverNow() {
    return FeedConnection.pageNow() - (this.offset ?? 0);
  }

  static pageNow() {
    return performance.timeOrigin + performance.now();
  }
}
