// The player's decoding thread: one decoder, one animation at a time, one
// request at a time in the order they come. The page never waits on it.
import { YafaDecoder } from './yafa-decoder.js';

let decoder = null;
let animation = null;
// Frame buffers the page has drawn and handed back, to be filled again.
const spare = [];

// Messages are handled strictly in order, whatever they await.
let queue = Promise.resolve();
self.onmessage = ({ data }) => {
  queue = queue.then(() => handle(data));
};

async function handle(message) {
  try {
    if (message.op === 'start') {
      decoder = await YafaDecoder.create(message.module);
    } else if (message.op === 'open') {
      animation?.close();
      animation = null;
      animation = decoder.open(new Uint8Array(message.bytes));
      const { width, height, depth, frames, frameFormat, flags, storage, delays } = animation;
      self.postMessage({ op: 'opened', info: { width, height, depth, frames, frameFormat, flags, storage, delays } });
    } else if (message.op === 'frame') {
      const rgba = animation.frame(message.index, spare.pop());
      self.postMessage({ op: 'frame', id: message.id, index: message.index, rgba }, [rgba.buffer]);
    } else if (message.op === 'recycle') {
      if (spare.length < 4) spare.push(message.rgba);
    }
  } catch (error) {
    self.postMessage({ op: 'error', id: message.id, index: message.index, message: error.message });
  }
}
