// Runs the engine's work for the page in a Web Worker, so that the page never waits for it. A
// new job while one runs replaces the worker: the old one is terminated, which is what cancels
// a runaway search, and a spare worker, started beforehand, takes over. A worker takes a job
// only once it has loaded the engine; until then only the latest job waits for it, so that
// quick typing never restarts a worker that is still loading. Messages of a replaced job
// never reach the page.
export class Runner {
  #url;
  #onMessage;
  #current;
  #spare;
  #waiting; // the job for the current worker once it is ready
  #job = 0;
  #running = false;

  // onMessage(message) gets every message of the current job; the last one has done: true.
  constructor(url, onMessage) {
    this.#url = url;
    this.#onMessage = onMessage;
    this.#current = this.#start();
    this.#spare = this.#start();
  }

  // A job is waiting for the engine or running.
  get busy() {
    return this.#running || this.#waiting !== undefined;
  }

  run(job) {
    if (this.#running) this.#replace();
    this.#waiting = { ...job, id: ++this.#job };
    this.#post();
  }

  // Ends the current job at once; its last message says it was stopped.
  stop() {
    if (!this.busy) return;
    if (this.#running) this.#replace();
    this.#waiting = undefined;
    this.#onMessage({ id: this.#job, stopped: true, done: true });
  }

  #post() {
    if (!this.#current.ready || this.#waiting === undefined) return;
    this.#current.worker.postMessage(this.#waiting);
    this.#waiting = undefined;
    this.#running = true;
  }

  #replace() {
    this.#current.worker.terminate();
    this.#current = this.#spare;
    this.#spare = this.#start();
    this.#running = false;
  }

  #start() {
    const entry = { worker: new Worker(this.#url, { type: 'module' }), ready: false };
    entry.worker.onmessage = ({ data }) => {
      if (data.ready) {
        entry.ready = true;
        if (entry === this.#current) this.#post();
        return;
      }
      if (entry !== this.#current || data.id !== this.#job) return;
      if (data.done) this.#running = false;
      this.#onMessage(data);
    };
    entry.worker.onerror = (event) => {
      if (entry !== this.#current) return;
      event.preventDefault();
      this.#running = false;
      this.#waiting = undefined;
      this.#onMessage({ id: this.#job, failed: event.message || 'the engine could not be loaded', done: true });
    };
    return entry;
  }
}
