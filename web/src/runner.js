// Runs the engine's work for the page in a Web Worker, so that the page never waits for it. A
// new job while one runs replaces the worker: the old one is terminated, which is what cancels
// a runaway search, and a spare worker, started beforehand, takes over at once. Messages of a
// replaced job never reach the page.
export class Runner {
  #url;
  #onMessage;
  #worker;
  #spare;
  #job = 0;
  #busy = false;

  // onMessage(message) gets every message of the current job; the last one has done: true.
  constructor(url, onMessage) {
    this.#url = url;
    this.#onMessage = onMessage;
    this.#worker = this.#start();
    this.#spare = this.#start();
  }

  get busy() {
    return this.#busy;
  }

  run(job) {
    if (this.#busy) this.#replace();
    this.#busy = true;
    this.#worker.postMessage({ ...job, id: ++this.#job });
  }

  // Ends the running job at once; its last message says it was stopped.
  stop() {
    if (!this.#busy) return;
    this.#replace();
    this.#busy = false;
    this.#onMessage({ id: this.#job, stopped: true, done: true });
  }

  #replace() {
    this.#worker.terminate();
    this.#worker = this.#spare;
    this.#spare = this.#start();
  }

  #start() {
    const worker = new Worker(this.#url, { type: 'module' });
    worker.onmessage = ({ data }) => {
      if (worker !== this.#worker || data.id !== this.#job) return;
      if (data.done) this.#busy = false;
      this.#onMessage(data);
    };
    worker.onerror = (event) => {
      if (worker !== this.#worker) return;
      event.preventDefault();
      this.#busy = false;
      this.#onMessage({ id: this.#job, failed: event.message || 'the engine could not be loaded', done: true });
    };
    return worker;
  }
}
