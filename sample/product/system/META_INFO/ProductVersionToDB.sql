-- platform.db: the installed version of the product and of its parts.

CREATE TABLE product_version (
  component    TEXT PRIMARY KEY,
  version      TEXT NOT NULL,
  installed_at TEXT NOT NULL
);

INSERT INTO product_version (component, version, installed_at) VALUES
  ('SampleProduct', '2.4.0', utc_now()),
  ('platform', '2.4.0', utc_now()),
  ('event.s', '2.4.0', utc_now()),
  ('inventory', '1.3.2', utc_now()),
  ('audit', '1.0.5', utc_now());
