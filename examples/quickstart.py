"""Load a YAML document, change it, and write it back as YAML and JSON."""

import quillmere

TEXT = """\
service: quillmere
ports: [80, 443]
defaults: &defaults
  retries: 3
  timeout: 2.5
primary:
  <<: *defaults
  host: db1.example.com
replica:
  <<: *defaults
  host: db2.example.com
  timeout: 5
"""

config = quillmere.loads(TEXT)
print("loaded:", config)

config["ports"].append(8080)
print(quillmere.dumps(config, option=quillmere.OPT_SORT_KEYS).decode(), end="")
print(quillmere.to_json(config, option=quillmere.OPT_INDENT_2).decode())

try:
    quillmere.loads("ports: [80, 443")
except quillmere.QuillmereParseError as error:
    print("error:", error, "(line", error.line, "column", str(error.column) + ")")

# Round trip: edit a configuration file keeping its comments and layout.
SETTINGS = """\
# Deployment settings
server:
  host: db1.example.com   # primary
  port: 5432
replicas: [db2, db3]      # read-only
"""

doc = quillmere.loads(SETTINGS, option=quillmere.OPT_ROUND_TRIP)
assert doc.to_yaml() == SETTINGS.encode()  # unedited: the same bytes
doc["server"]["port"] = 6432
doc["replicas"][1] = "db4"
doc.node["server"]["host"].comment = "primary, moved"
print(doc.to_yaml().decode(), end="")
print("as data:", doc.to_dict())
