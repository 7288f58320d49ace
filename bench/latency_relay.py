#!/usr/bin/python3
"""A relay that gives loopback connections a network's round trips, for the latency bench.

    latency_relay.py --delay-ms 20 LISTEN_PORT:TARGET_PORT [...]

Every connection accepted on a LISTEN_PORT is carried to 127.0.0.1:TARGET_PORT. Nothing is
forwarded before the set-up delay (one round trip, 2 x delay, as a TCP handshake costs), and then
every chunk in either direction arrives `delay` after it was sent, in order, however many are in
flight: a delay line, not a rate limit. Prints "ready" once every port listens.
"""
import argparse
import asyncio
import sys
import time


async def delay_line(reader, writer, delay):
    """Copies reader to writer, each chunk held until `delay` after it was read."""
    queue = asyncio.Queue()

    async def read():
        try:
            while chunk := await reader.read(65536):
                queue.put_nowait((time.monotonic() + delay, chunk))
        except (ConnectionError, OSError):
            pass
        queue.put_nowait((time.monotonic() + delay, b""))

    reading = asyncio.ensure_future(read())
    try:
        while True:
            due, chunk = await queue.get()
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            if not chunk:
                if writer.can_write_eof():
                    writer.write_eof()
                break
            writer.write(chunk)
            await writer.drain()
    except (ConnectionError, OSError):
        pass
    finally:
        reading.cancel()
        await asyncio.gather(reading, return_exceptions=True)


def serve(target_port, delay, setup):
    async def relay(client_reader, client_writer):
        await asyncio.sleep(setup)
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(delay_line(client_reader, server_writer, delay),
                             delay_line(server_reader, client_writer, delay))
        for writer in (client_writer, server_writer):
            writer.close()

    return relay


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--delay-ms", type=float, required=True, help="one-way delay")
    parser.add_argument("pairs", nargs="+", help="LISTEN_PORT:TARGET_PORT")
    args = parser.parse_args()
    delay = args.delay_ms / 1000
    servers = []
    for pair in args.pairs:
        listen, target = (int(p) for p in pair.split(":"))
        servers.append(await asyncio.start_server(serve(target, delay, 2 * delay), "127.0.0.1",
                                                  listen, backlog=512))
    print("ready", flush=True)
    await asyncio.gather(*(s.serve_forever() for s in servers))


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
