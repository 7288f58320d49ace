"""nginx for the engine tests: HTTPS with HTTP/2 on a free loopback port, serving ROOT/www, each
request logged to ROOT/access.log as "connection-number protocol status". Ends with this process
(nginx gets SIGTERM when its parent dies).
Usage: nginx_peer.py NGINX ROOT CERT KEY"""
import ctypes, os, signal, socket, subprocess, sys, time

nginx, root, cert, key = sys.argv[1:5]
probe = socket.socket()
probe.bind(("127.0.0.1", 0))
port = probe.getsockname()[1]
probe.close()
os.makedirs(os.path.join(root, "www"), exist_ok=True)
user = "user root;" if os.geteuid() == 0 else ""
with open(os.path.join(root, "nginx.conf"), "w") as conf:
    conf.write(f"""{user}
worker_processes 1;
pid {root}/nginx.pid;
error_log {root}/error.log;
events {{ worker_connections 256; }}
http {{
  log_format peer '$connection $server_protocol $status';
  access_log {root}/access.log peer;
  client_body_temp_path {root}/body;
  proxy_temp_path {root}/proxy;
  fastcgi_temp_path {root}/fastcgi;
  uwsgi_temp_path {root}/uwsgi;
  scgi_temp_path {root}/scgi;
  server {{
    listen 127.0.0.1:{port} ssl http2;
    root {root}/www;
    ssl_certificate {cert};
    ssl_certificate_key {key};
  }}
}}
""")


def die_with_parent():
    ctypes.CDLL("libc.so.6").prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


server = subprocess.Popen([nginx, "-c", os.path.join(root, "nginx.conf"), "-g", "daemon off;"],
                          preexec_fn=die_with_parent)
for _ in range(100):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        break
    except OSError:
        if server.poll() is not None:
            sys.exit("nginx did not start")
        time.sleep(0.05)
print("READY", port, flush=True)
signal.signal(signal.SIGTERM, lambda *_: (server.terminate(), sys.exit(0)))
server.wait()
