-- inventory.db: the articles and their stock per site.

CREATE TABLE item (
  sku         TEXT PRIMARY KEY,
  check_digit INTEGER NOT NULL,
  name        TEXT NOT NULL,
  unit        TEXT NOT NULL,
  created_at  TEXT NOT NULL
);

CREATE TABLE stock (
  sku      TEXT NOT NULL REFERENCES item (sku),
  site_id  TEXT NOT NULL,
  quantity INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (sku, site_id)
);
