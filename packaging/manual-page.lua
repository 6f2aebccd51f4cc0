-- Makes a manual page from the Markdown docs (pandoc -t man --lua-filter):
--   ::: {include="../cli.md"}         the blocks of a doc, its title dropped and
--   :::                               its sections raised a level (## is .SH);
--   ::: {generated="commands.md"}     the same for a file written at build time,
--   :::                               found in the directory -M generated=DIR names;
--   ::: {include="../exit-status.md" program="tarnwick-sim"}
--   :::                               that doc's Program | Status | Meaning table,
--                                     the program's rows alone, as a list.
-- A link to another doc keeps its text only: the page stands alone.

local function read_doc(path)
  local file = assert(io.open(path, "r"), "cannot read " .. path)
  local text = file:read("a")
  file:close()
  return pandoc.read(text, "markdown").blocks
end

local function raised(blocks)
  local kept = {}
  for _, block in ipairs(blocks) do
    if block.t == "Header" then
      if block.level > 1 then
        block.level = block.level - 1
        table.insert(kept, block)
      end
    else
      table.insert(kept, block)
    end
  end
  return kept
end

local function text(cell) return pandoc.utils.stringify(cell.contents) end

-- The rows of PROGRAM ("tarnwick-cli" also takes "tarnwick-cli scan"), each as
-- a term (the status, after the words that follow the program's name) and its meaning.
local function statuses_of(program, blocks)
  local items = {}
  for _, block in ipairs(blocks) do
    if block.t == "Table" then
      for _, row in ipairs(block.bodies[1].body) do
        local name, status = text(row.cells[1]), text(row.cells[2])
        local rest = name:match("^" .. program:gsub("%-", "%%-") .. "(.*)$")
        if rest and (rest == "" or rest:sub(1, 1) == " ") then
          local term = rest == "" and status or rest:sub(2) .. ": " .. status
          table.insert(items, {{pandoc.Strong(pandoc.Str(term))}, {row.cells[3].contents}})
        end
      end
    end
  end
  assert(#items > 0, "no exit statuses of " .. program)
  return {pandoc.DefinitionList(items)}
end

local function expand(blocks, page_dir, generated_dir)
  local out = {}
  for _, block in ipairs(blocks) do
    local include = block.t == "Div" and block.attributes.include
    local generated = block.t == "Div" and block.attributes.generated
    local program = block.t == "Div" and block.attributes.program
    local inserted = nil
    if include and program then
      inserted = statuses_of(program, read_doc(page_dir .. "/" .. include))
    elseif include then
      inserted = raised(read_doc(page_dir .. "/" .. include))
    elseif generated then
      inserted = raised(read_doc(generated_dir .. "/" .. generated))
    end
    for _, each in ipairs(inserted or {block}) do table.insert(out, each) end
  end
  return out
end

-- A table's columns share 56 of the 70 ens pandoc gives a table (so that it fits
-- an 80-column terminal): each column its longest word, and what is left by the
-- length of its longest cell (up to 40 characters).
local function fitted(tbl)
  local words, lengths = {}, {}
  local function measure(row)
    for i, cell in ipairs(row.cells) do
      local text = pandoc.utils.stringify(cell.contents)
      lengths[i] = math.max(lengths[i] or 0, math.min(40, #text))
      for word in text:gmatch("%S+") do words[i] = math.max(words[i] or 1, #word + 1) end
    end
  end
  for _, row in ipairs(tbl.head.rows) do measure(row) end
  for _, body in ipairs(tbl.bodies) do
    for _, row in ipairs(body.body) do measure(row) end
  end
  local floor, wanted = 0, 0
  for i = 1, #tbl.colspecs do
    words[i] = words[i] or 1
    floor = floor + words[i]
    wanted = wanted + math.max(0, (lengths[i] or 0) - words[i])
  end
  local spare = math.max(0, 56 - floor)
  for i, colspec in ipairs(tbl.colspecs) do
    local share = wanted > 0 and spare * math.max(0, (lengths[i] or 0) - words[i]) / wanted or 0
    tbl.colspecs[i] = {colspec[1], (words[i] + share) / 70}
  end
  return tbl
end

-- Hyphens as groff's minus sign (\-), and a "--" the Markdown reader turned into
-- an en dash back into two: an option copied from the page then works.
local function groff_text(text)
  return (text:gsub("\\", "\\e"):gsub("%-", "\\-"):gsub("\u{2013}", "\\-\\-"))
end

local function plain_hyphens(str) return pandoc.RawInline("man", groff_text(str.text)) end

local function code_hyphens(code) return pandoc.RawInline("man", "\\f[V]" .. groff_text(code.text) .. "\\f[R]") end

local function code_block_hyphens(block)
  local lines = {}
  for line in (block.text .. "\n"):gmatch("(.-)\n") do table.insert(lines, "\\&" .. groff_text(line)) end
  return pandoc.RawBlock("man", ".IP\n.nf\n\\f[C]\n" .. table.concat(lines, "\n") .. "\n\\f[R]\n.fi")
end

-- A section's name in capitals, as manual pages have it.
local function section_name(header)
  if header.level == 1 then header.content = {pandoc.Str(pandoc.text.upper(pandoc.utils.stringify(header)))} end
  return header
end

local function local_link(link)
  if link.target:match("^%a[%w+.-]*:") then return nil end
  return link.content
end

function Pandoc(doc)
  local page_dir = pandoc.path.directory(PANDOC_STATE.input_files[1])
  local generated_dir = doc.meta.generated and pandoc.utils.stringify(doc.meta.generated) or "."
  doc.blocks = expand(doc.blocks, page_dir, generated_dir)
  -- Left-aligned and unhyphenated: a table's narrow columns hold long words, and
  -- an option or path split at a hyphen reads as two.
  table.insert(doc.blocks, 1, pandoc.RawBlock("man", ".ad l\n.nh\n.cflags 0 -"))
  doc.meta.generated = nil
  doc = doc:walk({Link = local_link, Header = section_name, Table = fitted})
  return doc:walk({Str = plain_hyphens, Code = code_hyphens, CodeBlock = code_block_hyphens})
end
