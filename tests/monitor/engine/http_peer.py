"""HTTP(S) peer of the engine tests. Serves the files of ROOT; a file NAME.meta beside a page holds
JSON that changes how it is served: status, redirect, auth "user:password", and a mode: "reset"
(half the body, then a connection reset), "stall" (half the body, then silence), "silent" (no
reply at all), "drip" (one byte every `interval` seconds) or "endless" (the body repeated for ever
without a length; the bytes sent before the client left go to ROOT/NAME.sent), "close-after"
(the connection closed after the answer, without saying so) or "drop-kept" (a request that comes
on a kept connection gets none: the connection closes, as when a server ended it while idle).
"etag" and "lastModified" are sent with the page and a request naming them gets a 304; "always304"
answers 304 to everything, as a lying server. Every request is logged to ROOT/hits, its
If-None-Match and If-Modified-Since to ROOT/conditions ("-" when absent), and every accepted
connection adds a line to ROOT/connections.
Usage: http_peer.py ROOT [CERT KEY]"""
import base64, gzip, json, os, socket, ssl, struct, sys, threading, time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

root = sys.argv[1]
hits_lock = threading.Lock()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def setup(self):
        super().setup()
        # Headers and body go out in separate writes; without this a kept-alive connection
        # waits for delayed acknowledgements between requests.
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.requests_here = 0
        with hits_lock, open(os.path.join(root, "connections"), "a") as log:
            log.write("connection\n")

    def do_GET(self):
        path = self.path.split("?")[0].lstrip("/")
        with hits_lock, open(os.path.join(root, "hits"), "a") as log:
            log.write(path + "\n")
        with hits_lock, open(os.path.join(root, "encodings"), "a") as log:
            log.write(self.headers.get("Accept-Encoding", "-") + "\n")
        asked_tag = self.headers.get("If-None-Match")
        asked_date = self.headers.get("If-Modified-Since")
        with hits_lock, open(os.path.join(root, "conditions"), "a") as log:
            log.write("%s|%s\n" % (asked_tag or "-", asked_date or "-"))
        self.requests_here += 1
        file = os.path.join(root, path)
        meta = {}
        if os.path.exists(file + ".meta"):
            with open(file + ".meta") as m:
                meta = json.load(m)
        mode = meta.get("mode")
        if mode == "drop-kept" and self.requests_here > 1:
            self.close_connection = True
            return
        validators = [("ETag", meta.get("etag")), ("Last-Modified", meta.get("lastModified"))]
        unchanged = (asked_tag is not None and asked_tag == meta.get("etag")) or (
            asked_tag is None and asked_date is not None and asked_date == meta.get("lastModified"))
        if meta.get("always304") or unchanged:
            self.send_response(304)
            for name, value in validators:
                if value:
                    self.send_header(name, value)
            self.end_headers()
            return
        if "redirect" in meta:
            self.send_response(302)
            self.send_header("Location", meta["redirect"])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if "auth" in meta:
            expected = "Basic " + base64.b64encode(meta["auth"].encode()).decode()
            if self.headers.get("Authorization") != expected:
                self.send_response(401)
                self.send_header("WWW-Authenticate", 'Basic realm="t"')
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
        if mode == "silent":
            time.sleep(3600)
        if mode == "endless":
            self.send_endless(file)
            return
        try:
            with open(file, "rb") as f:
                body = f.read()
            status = meta.get("status", 200)
        except OSError:
            body, status = b"<html>not found</html>", 404
        self.send_response(status)
        if meta.get("gzip"):
            body = gzip.compress(body)
            self.send_header("Content-Encoding", "gzip")
        self.send_header("Content-Length", str(len(body)))
        if "contentType" in meta:
            self.send_header("Content-Type", meta["contentType"])
        self.send_header("Cache-Control", "max-age=3600")
        for name, value in validators:
            if value:
                self.send_header(name, value)
        self.end_headers()
        if mode == "drip":
            for i in range(len(body)):
                self.wfile.write(body[i:i + 1])
                self.wfile.flush()
                time.sleep(meta.get("interval", 0.5))
            return
        if mode in ("reset", "stall"):
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            if mode == "stall":
                time.sleep(3600)
            # A reset, not an orderly end: linger 0 and close the descriptor itself now.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            os.close(self.connection.detach())
            self.close_connection = True
            return
        self.wfile.write(body)
        if mode == "close-after":
            self.close_connection = True

    def send_endless(self, file):
        with open(file, "rb") as f:
            piece = (f.read() or b"x") * 1024
        self.send_response(200)
        self.send_header("Connection", "close")
        self.end_headers()
        sent = 0
        try:
            while True:
                self.wfile.write(piece)
                sent += len(piece)
        except OSError:
            pass
        with open(file + ".sent", "w") as out:
            out.write(str(sent))
        self.close_connection = True


server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
if len(sys.argv) > 3:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[2], sys.argv[3])
    server.socket = context.wrap_socket(server.socket, server_side=True)
print("READY", server.server_address[1], flush=True)
server.serve_forever()
