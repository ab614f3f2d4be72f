#!/usr/bin/env python3
"""An OAuth 2.0 / OpenID provider for the tests, on 127.0.0.1 only.

HTTPS (the tests' certificate) for the browser and the programs: discovery, an authorization
endpoint that redirects at once to the loopback address with a code (as if the user had
agreed), a token endpoint (authorization code with PKCE S256, refresh) and plain HTTP for
Dovecot's token introspection. Writes "HTTPS_PORT INTROSPECTION_PORT" on its first output
line, then serves until stdin closes.

Usage: oauth_provider.py CERT KEY USER [--lifetime SECONDS] [--rotate] [--slow SECONDS]
       [--refuse-refresh] [--refresh TOKEN] [--deny]
"""
import argparse
import base64
import hashlib
import http.server
import json
import secrets
import ssl
import sys
import threading
import urllib.parse

parser = argparse.ArgumentParser()
parser.add_argument("cert")
parser.add_argument("key")
parser.add_argument("user")
parser.add_argument("--lifetime", type=int, default=3600)
parser.add_argument("--rotate", action="store_true", help="a new refresh token with each refresh")
parser.add_argument("--slow", type=float, default=0, help="seconds before each token answer")
parser.add_argument("--refuse-refresh", action="store_true")
parser.add_argument("--refresh", default="", help="a refresh token that is good from the start")
parser.add_argument("--deny", action="store_true", help="introspection finds no token active")
options = parser.parse_args()

lock = threading.Lock()
codes = {}      # code -> (challenge, redirect_uri, client_id)
refresh = {}    # refresh token -> user
access = set()  # live access tokens
counts = {"refresh": 0, "code": 0}
if options.refresh:
    refresh[options.refresh] = options.user
issuer = ""


def token_pair(with_refresh):
    token = "at-" + secrets.token_urlsafe(1200)  # as long as real ones
    access.add(token)
    answer = {"access_token": token, "token_type": "Bearer", "expires_in": options.lifetime}
    if with_refresh:
        new = "rt-" + secrets.token_urlsafe(900)
        refresh[new] = options.user
        answer["refresh_token"] = new
    return answer


class Provider(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def reply(self, status, body, headers=()):
        data = json.dumps(body).encode() if not isinstance(body, bytes) else body
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        if url.path == "/.well-known/openid-configuration":
            self.reply(200, {"issuer": issuer, "authorization_endpoint": issuer + "/authorize",
                             "token_endpoint": issuer + "/token",
                             "scopes_supported": ["openid", "email", "offline_access"]})
        elif url.path == "/authorize":
            if query.get("code_challenge_method") != "S256" or not query.get("code_challenge"):
                self.reply(400, {"error": "invalid_request"})
                return
            code = secrets.token_urlsafe(16)
            with lock:
                codes[code] = (query["code_challenge"], query.get("redirect_uri"),
                               query.get("client_id"))
            target = query["redirect_uri"] + "?" + urllib.parse.urlencode(
                {"code": code, "state": query.get("state", "")})
            self.reply(302, b"", [("Location", target)])
        elif url.path == "/counts":
            self.reply(200, counts)
        else:
            self.reply(404, {"error": "not_found"})

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        form = dict(urllib.parse.parse_qsl(self.rfile.read(length).decode()))
        if self.path != "/token":
            self.reply(404, {"error": "not_found"})
            return
        if options.slow:
            threading.Event().wait(options.slow)
        grant = form.get("grant_type")
        with lock:
            if grant == "authorization_code":
                counts["code"] += 1
                entry = codes.pop(form.get("code", ""), None)
                verifier = form.get("code_verifier", "").encode()
                challenge = base64.urlsafe_b64encode(hashlib.sha256(verifier).digest()).rstrip(b"=")
                if (entry is None or entry[0].encode() != challenge
                        or entry[1] != form.get("redirect_uri")):
                    self.reply(400, {"error": "invalid_grant", "error_description": "bad code"})
                    return
                self.reply(200, token_pair(True))
            elif grant == "refresh_token":
                counts["refresh"] += 1
                token = form.get("refresh_token", "")
                if options.refuse_refresh or token not in refresh:
                    self.reply(400, {"error": "invalid_grant",
                                     "error_description": "Token has been expired or revoked."})
                    return
                if options.rotate:
                    del refresh[token]
                self.reply(200, token_pair(options.rotate))
            else:
                self.reply(400, {"error": "unsupported_grant_type"})


class Introspection(Provider):
    # Dovecot's introspection_mode = auth: the token in the Authorization header.
    def do_GET(self):
        token = self.headers.get("Authorization", "").removeprefix("Bearer ").strip()
        with lock:
            active = token in access and not options.deny
        self.reply(200, {"active": active, "email": options.user} if active else {"active": False})


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True


https = Server(("127.0.0.1", 0), Provider)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(options.cert, options.key)
https.socket = context.wrap_socket(https.socket, server_side=True)
issuer = "https://127.0.0.1:%d" % https.server_address[1]
plain = Server(("127.0.0.1", 0), Introspection)
for server in (https, plain):
    threading.Thread(target=server.serve_forever, daemon=True).start()
print(https.server_address[1], plain.server_address[1], flush=True)
sys.stdin.read()
