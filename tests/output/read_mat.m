% Lists a MAT-file as Octave loads it, one line per variable:
% "name rows cols class hex,hex,..." with each value's IEEE-754 bits as 16
% lower-case hex digits.
function read_mat(path)
  contents = load(path);
  names = fieldnames(contents);
  for i = 1:numel(names)
    value = contents.(names{i});
    hexes = '';
    if ~isempty(value)
      rowsOfHex = lower(num2hex(value(:)));
      hexes = strjoin(cellstr(rowsOfHex)', ',');
    end
    printf('%s %d %d %s %s\n', names{i}, rows(value), columns(value), class(value), hexes);
  end
end
