"""An HTTP origin that tells which of its addresses served the request.

    address_origin.py HOST [PORT]

Listens on HOST:PORT (a free port when PORT is left out), prints
"port N" once listening, and answers every GET of a path with "served by
HOST" until killed. A request line in absolute form, which only a proxy
takes, gets 404, as from an origin that routes on the path alone.
"""
import http.server
import sys


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if not self.path.startswith("/"):
            self.send_error(404)
            return
        body = ("served by %s\n" % self.server.server_address[0]).encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "max-age=600")
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


if __name__ == "__main__":
    host = sys.argv[1]
    port = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    server = http.server.ThreadingHTTPServer((host, port), Handler)
    print("port %d" % server.server_address[1], flush=True)
    server.serve_forever()
