"""The download site of platform_probe on 127.0.0.1: writes its port to the file named by
its one argument, then serves until killed."""

import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def pattern(size):
    return (bytes(range(251)) * (size // 251 + 1))[:size]


class Site(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send(self, status, body, length=None):
        self.send_response(status)
        self.send_header("Content-Length", str(len(body) if length is None else length))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        if self.path == "/big":
            self.send(200, pattern(5 * 1024 * 1024 + 123))
        elif self.path == "/small":
            self.send(200, b"0123456789")
        elif self.path == "/slow":
            self.send_response(200)
            self.send_header("Content-Length", "10")
            self.end_headers()
            self.wfile.flush()
            time.sleep(1)
            self.wfile.write(b"9876543210")
        elif self.path == "/drop":  # announces more than it sends, then hangs up
            self.send(200, pattern(1000), length=100000)
            self.close_connection = True
        elif self.path == "/chunked":
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            body = pattern(70000)
            for start in range(0, len(body), 30000):
                piece = body[start:start + 30000]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.wfile.write(b"0\r\n\r\n")
        else:
            self.send(404, b"<html>not here</html>")


server = ThreadingHTTPServer(("127.0.0.1", 0), Site)
with open(sys.argv[1], "w") as f:
    f.write(str(server.server_address[1]))
server.serve_forever()
