-- The starter catalogue; sku_checksum() comes from inventory.func.sqlite.
INSERT INTO item (sku, check_digit, name, unit, created_at)
  SELECT sku, sku_checksum(sku), name, unit, utc_now()
  FROM (SELECT 'WID-0001' AS sku, 'Widget, small' AS name, 'pcs' AS unit
        UNION ALL SELECT 'WID-0002', 'Widget, large', 'pcs'
        UNION ALL SELECT 'BOX-0100', 'Shipping box', 'box'
        UNION ALL SELECT 'FLR-0007', 'Floor tile', 'm2')
  WHERE unit IN (SELECT code FROM public.dictionary WHERE category = 'unit');

-- Every article starts with an empty stock at every site of the platform.
INSERT INTO stock (sku, site_id, quantity)
  SELECT item.sku, site.site_id, 0 FROM item CROSS JOIN platform.site AS site;
