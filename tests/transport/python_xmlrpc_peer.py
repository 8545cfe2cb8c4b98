#!/usr/bin/env python3
"""An XML-RPC server from Python's standard library, as an independent peer
for the transport's interoperability test. Prints its port, then serves
until killed."""
import sys
import xmlrpc.client
from xmlrpc.server import SimpleXMLRPCServer


def blob(size):
    return xmlrpc.client.Binary(bytes((i * 7 + 3) % 256 for i in range(size)))


def main():
    server = SimpleXMLRPCServer(("127.0.0.1", 0), logRequests=False, allow_none=False)
    server.register_function(lambda a, b, c: a * 100 + b * 10 + c, "combine")
    server.register_function(lambda: "a<b & c>d \"q\" 'x'", "markup")
    server.register_function(lambda: [1, "two", [3, 4], {"five": 5}], "mixed")
    server.register_function(lambda: {"zeta": 1, "Alpha": [True, 2.5], "mid": {"inner": "x"}}, "nested")
    server.register_function(blob, "blob")
    server.register_function(lambda value: value, "echo")
    server.register_function(lambda data: len(data.data), "measure")
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
