#!/usr/bin/env python3
"""A TCP relay that gives every connection a round-trip time: each chunk
reaches the other side half a round trip after it was sent, in order, and a
new connection's first request arrives one round trip later still, as the
handshake would make it. The kernel's own delay queue (netem) is not built
into every kernel; this stands in for it inside the benchmark's namespace.

  delay_proxy.py <listen port> <upstream port> <round trip ms>"""
import asyncio
import sys


async def pump(reader, writer, half, first_extra):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()
    last = 0.0

    async def deliver():
        while True:
            at, data = await queue.get()
            wait = at - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                break
            writer.write(data)
            await writer.drain()
        try:
            writer.write_eof()
        except OSError:
            pass

    task = asyncio.create_task(deliver())
    extra = first_extra
    try:
        while True:
            data = await reader.read(65536)
            at = max(loop.time() + half + extra, last)
            extra = 0.0
            last = at
            if not data:
                await queue.put((at, None))
                break
            await queue.put((at, data))
    except OSError:
        await queue.put((loop.time(), None))
    try:
        await task
    except OSError:
        pass


async def main():
    listen_port, upstream_port, rtt_ms = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
    half = rtt_ms / 2000.0

    async def serve(client_reader, client_writer):
        try:
            up_reader, up_writer = await asyncio.open_connection("127.0.0.1", upstream_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pump(client_reader, up_writer, half, 2 * half),
                             pump(up_reader, client_writer, half, 0.0), return_exceptions=True)
        for w in (client_writer, up_writer):
            w.close()

    server = await asyncio.start_server(serve, "127.0.0.1", listen_port)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
